// Measures the real recorder against a private sound server (not a test: it prints figures).
//   start latency: from start returning to the first captured frame written, over several takes;
//   samples lost: a long take while the main thread is blocked for 300 ms every second, frames in
//     the WAV against the elapsed time × 48000;
//   CPU: the process's CPU time per second of that take, with the meter running.
//
// usage: tarnwick-bench-recorder [seconds of the long take, default 60]

#include "audio/AudioController.h"
#include "audio/QtAudioBackend.h"
#include "support/SoundServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using tarnwick::testing::SoundServer;

namespace {

double processCPUSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

/// CPU seconds of this process's threads named `name` (utime + stime from /proc).
double threadCPUSeconds(const char *name)
{
    double total = 0.0;
    const long ticks = sysconf(_SC_CLK_TCK);
    for (const QString &task : QDir(u"/proc/self/task"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(u"/proc/self/task/"_s + task + u"/comm"_s);
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name)
            continue;
        QFile stat(u"/proc/self/task/"_s + task + u"/stat"_s);
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // Fields after the parenthesised name: state is field 3, utime 14, stime 15.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12)
            total += static_cast<double>(fields[11].toLongLong() + fields[12].toLongLong()) / static_cast<double>(ticks);
    }
    return total;
}

void runEventLoop(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

sf_count_t framesIn(const QString &path)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return -1;
    sf_close(file);
    return info.frames;
}

void measureStartLatency(const QTemporaryDir &dir)
{
    QtAudioBackend backend;
    backend.setInputDeviceID(QLatin1StringView(SoundServer::microphoneID));
    std::vector<double> latencies;
    for (int take = 0; take < 10; ++take) {
        const auto recorder = backend.createRecorder(dir.filePath(u"latency.wav"_s));
        if (!recorder->record()) {
            std::puts("start latency: the recorder did not start");
            return;
        }
        QElapsedTimer clock;
        clock.start();
        while (recorder->currentTime() == 0.0 && clock.elapsed() < 5000)
            QThread::usleep(200);
        latencies.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        QThread::msleep(200);
        recorder->stop();
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("start latency over %zu takes: min %.1f ms, median %.1f ms, max %.1f ms\n", latencies.size(),
                latencies.front(), latencies[latencies.size() / 2], latencies.back());
}

void measureLongTake(const QTemporaryDir &dir, int seconds)
{
    const QString path = dir.filePath(u"long.wav"_s);
    AudioController controller(std::make_unique<QtAudioBackend>());
    controller.setInputDeviceID(QLatin1StringView(SoundServer::microphoneID));
    QString failure;
    controller.onRecordingError = [&failure](const QString &message) { failure = message; };

    const double cpuBefore = processCPUSeconds();
    controller.start(path);
    QElapsedTimer elapsed;
    elapsed.start();
    for (int second = 0; second < seconds && failure.isEmpty(); ++second) {
        runEventLoop(700);
        QThread::msleep(300); // the window is busy
        runEventLoop(static_cast<int>(std::max(0LL, (second + 1) * 1000LL - elapsed.elapsed())));
    }
    const double captureCPU = threadCPUSeconds("capture");
    controller.stopRecording();
    const double wall = static_cast<double>(elapsed.nsecsElapsed()) / 1e9;
    const double cpu = processCPUSeconds() - cpuBefore;

    if (!failure.isEmpty())
        std::printf("long take failed: %s\n", failure.toUtf8().constData());
    const sf_count_t frames = framesIn(path);
    const double expected = wall * QtAudioBackend::sampleRate;
    std::printf("samples lost over %.2f s with the main thread blocked 300 ms every second: "
                "%lld frames written, %.0f expected, difference %+.0f frames (%+.3f %%)\n",
                wall, static_cast<long long>(frames), expected, static_cast<double>(frames) - expected,
                (static_cast<double>(frames) - expected) / expected * 100.0);
    std::printf("CPU: capture thread %.3f s over %.2f s = %.2f %% of one core; whole process with the meter "
                "running %.3f s = %.2f %%\n",
                captureCPU, wall, captureCPU / wall * 100.0, cpu, cpu / wall * 100.0);
}

} // namespace

int main(int argc, char **argv)
{
    const QCoreApplication application(argc, argv);
    QString whyNot;
    const std::unique_ptr<SoundServer> server = SoundServer::start(&whyNot);
    if (!server) {
        std::fprintf(stderr, "no sound server: %s\n", whyNot.toUtf8().constData());
        return 1;
    }
    server->useInThisProcess(); // before Qt Multimedia is first used
    const int seconds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 60;
    const QTemporaryDir dir;

    measureStartLatency(dir);
    measureLongTake(dir, seconds);
    return 0;
}
