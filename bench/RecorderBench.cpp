// Measures the real recorder against a private sound server (not a test: it prints figures).
//   start gap: from record() returning to the first captured frame in the file, over 20 takes;
//   tail error: where a take ends against the moment stop() was called, over 20 takes, read on a
//     second capture of the same microphone that serves as the clock (noise plays into it, and the
//     take's last samples are found in the clock's recording); negative means sound was lost;
//   samples lost: a long take while the main thread is blocked for 300 ms every second, frames in
//     the WAV against the elapsed time × 48000;
//   CPU: the process's CPU time per second of that take, with the meter running.
//
// usage: tarnwick-bench-recorder [seconds of the long take, default 60]

#include "audio/AudioController.h"
#include "audio/PulseAudioBackend.h"
#include "support/SoundServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUuid>

#include <pulse/simple.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using tarnwick::testing::SoundServer;

namespace {

constexpr int rate = 48000;
using BackendFactory = std::function<std::unique_ptr<AudioBackend>()>;

double now()
{
    timespec time{};
    clock_gettime(CLOCK_MONOTONIC, &time);
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

double processCPUSeconds()
{
    timespec time{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

void runEventLoop(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

std::vector<float> samplesOf(const QString &path)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return {};
    std::vector<float> samples(static_cast<size_t>(info.frames));
    samples.resize(static_cast<size_t>(std::max<sf_count_t>(0, sf_read_float(file, samples.data(), info.frames))));
    sf_close(file);
    return samples;
}

/// A name not used before: a take never overwrites a file.
QString freshPath(const QTemporaryDir &dir)
{
    return dir.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) + u".wav"_s);
}

void summarise(const char *what, std::vector<double> values)
{
    if (values.empty()) {
        std::printf("  %s: no figures\n", what);
        return;
    }
    std::sort(values.begin(), values.end());
    const double worst = std::abs(values.front()) > std::abs(values.back()) ? values.front() : values.back();
    std::printf("  %s over %zu: median %+.1f ms, worst %+.1f ms, range %+.1f…%+.1f ms\n", what, values.size(),
                values[values.size() / 2], worst, values.front(), values.back());
}

/// Records the microphone in 10 ms blocks through a stream of its own and notes when each block
/// arrived, which places the microphone's sound on the monotonic clock.
class ClockCapture
{
public:
    explicit ClockCapture(const char *source)
    {
        const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, rate, 1};
        pa_buffer_attr buffer{};
        buffer.maxlength = static_cast<uint32_t>(-1);
        buffer.fragsize = block * sizeof(float);
        m_stream = pa_simple_new(nullptr, "clock", PA_STREAM_RECORD, source, "clock", &format, nullptr, &buffer, nullptr);
        if (m_stream)
            m_thread = std::thread([this] { run(); });
    }

    ~ClockCapture()
    {
        m_running = false;
        if (m_thread.joinable())
            m_thread.join();
        if (m_stream)
            pa_simple_free(m_stream);
    }

    bool valid() const { return m_stream != nullptr; }
    double cpuSeconds() const { return m_cpu; }

    /// The frame of the clock's recording the microphone caught at monotonic time `time`, placed by
    /// the arrivals of the second around it only, so a server that loses frames does not shift it.
    double frameAt(double time) const
    {
        const std::lock_guard guard(m_mutex);
        double start = 1e300;
        for (const auto &[arrived, frames] : m_arrivals) {
            if (arrived > time - 1.0 && arrived < time + 0.3)
                start = std::min(start, arrived - static_cast<double>(frames) / rate);
        }
        return (time - start) * rate;
    }

    /// The clock's own frames against the time since its first arrival, in ms: what the server lost.
    double shortfall() const
    {
        const std::lock_guard guard(m_mutex);
        return (static_cast<double>(m_samples.size()) / rate - (now() - m_start)) * 1000.0;
    }

    std::vector<float> samples() const
    {
        const std::lock_guard guard(m_mutex);
        return m_samples;
    }

private:
    static constexpr size_t block = 480;

    void run()
    {
        std::vector<float> chunk(block);
        while (m_running) {
            if (pa_simple_read(m_stream, chunk.data(), chunk.size() * sizeof(float), nullptr) < 0)
                return;
            const double arrived = now();
            timespec cpu{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
            m_cpu = static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) / 1e9;
            const std::lock_guard guard(m_mutex);
            m_samples.insert(m_samples.end(), chunk.begin(), chunk.end());
            m_arrivals.emplace_back(arrived, m_samples.size());
            // The earliest arrival, less the sound it carries, is when frame 0 was caught.
            m_start = std::min(m_start, arrived - static_cast<double>(m_samples.size()) / rate);
        }
    }

    pa_simple *m_stream = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_running{true};
    std::atomic<double> m_cpu{0.0}; // seconds this capture's thread has used
    mutable std::mutex m_mutex;
    std::vector<float> m_samples;
    std::vector<std::pair<double, size_t>> m_arrivals; // when, and how many frames had arrived then
    double m_start = 1e300;
};

/// Where `tail` lies in `clock`, searched within `radius` frames of `expected`; -1 when unclear.
double locate(const std::vector<float> &clock, const std::vector<float> &tail, double expected, int radius)
{
    double best = -1.0;
    double bestScore = 0.0;
    double tailEnergy = 0.0;
    for (const float sample : tail)
        tailEnergy += static_cast<double>(sample) * sample;
    const auto from = static_cast<long>(expected) - radius;
    for (long lag = std::max(0L, from); lag <= from + 2 * radius; ++lag) {
        if (static_cast<size_t>(lag) + tail.size() > clock.size())
            break;
        double dot = 0.0;
        double energy = 0.0;
        for (size_t i = 0; i < tail.size(); ++i) {
            dot += static_cast<double>(tail[i]) * clock[static_cast<size_t>(lag) + i];
            energy += static_cast<double>(clock[static_cast<size_t>(lag) + i]) * clock[static_cast<size_t>(lag) + i];
        }
        const double score = energy > 0.0 ? dot / std::sqrt(energy * tailEnergy) : 0.0;
        if (score > bestScore) {
            bestScore = score;
            best = static_cast<double>(lag);
        }
    }
    return bestScore > 0.9 ? best : -1.0;
}

QString noiseFile(const QTemporaryDir &dir, int seconds)
{
    const QString path = dir.filePath(u"noise.wav"_s);
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    std::mt19937 random(15);
    std::uniform_real_distribution<float> level(-0.5f, 0.5f);
    std::vector<float> samples(static_cast<size_t>(seconds) * rate);
    for (float &sample : samples)
        sample = level(random);
    sf_write_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
    return path;
}

void measureStartGap(const BackendFactory &make, const QTemporaryDir &dir)
{
    const std::unique_ptr<AudioBackend> backend = make();
    backend->setInputDeviceID(QLatin1StringView(SoundServer::microphoneID));
    std::vector<double> gaps;
    for (int take = 0; take < 20; ++take) {
        const auto recorder = backend->createRecorder(freshPath(dir));
        if (!recorder->record()) {
            std::puts("  start gap: the recorder did not start");
            return;
        }
        const double started = now();
        while (recorder->framesCaptured() == 0 && now() - started < 5.0)
            QThread::usleep(200);
        gaps.push_back((now() - started) * 1000.0);
        QThread::msleep(100);
        recorder->stop();
    }
    summarise("start gap", gaps);
}

void measureTail(const BackendFactory &make, const QTemporaryDir &dir, const SoundServer &server)
{
    const std::unique_ptr<AudioBackend> backend = make();
    backend->setInputDeviceID(QLatin1StringView(SoundServer::microphoneID));
    const std::unique_ptr<QProcess> noise = server.playIntoMicrophone(noiseFile(dir, 40));
    const ClockCapture clock(SoundServer::microphoneID);
    if (!clock.valid()) {
        std::puts("  tail error: no clock capture");
        return;
    }
    QThread::msleep(500);
    std::vector<double> errors;
    std::vector<double> lengths;
    for (int take = 0; take < 20; ++take) {
        const QString path = freshPath(dir);
        const auto recorder = backend->createRecorder(path);
        if (!recorder->record())
            continue;
        const double started = now();
        QThread::msleep(400 + 37 * (take % 7)); // stops fall anywhere within a fragment
        const double stopped = now();
        recorder->stop();
        const std::vector<float> take_ = samplesOf(path);
        lengths.push_back((static_cast<double>(take_.size()) / rate - (stopped - started)) * 1000.0);
        if (take_.size() < 2400)
            continue;
        QThread::msleep(300); // the clock catches up
        const std::vector<float> tail(take_.end() - 2400, take_.end());
        const double expected = clock.frameAt(stopped) - 2400;
        const double found = locate(clock.samples(), tail, expected, rate / 5);
        if (found >= 0)
            errors.push_back((found + 2400 - clock.frameAt(stopped)) / rate * 1000.0);
    }
    noise->kill();
    noise->waitForFinished();
    std::printf("  the clock capture's own frames against the wall clock: %+.1f ms\n", clock.shortfall());
    summarise("tail error (take's end - stop moment)", errors);
    summarise("length error (take - time between start and stop)", lengths);
}

void measureLongTake(const BackendFactory &make, const QTemporaryDir &dir, int seconds)
{
    const QString path = freshPath(dir);
    AudioController controller(make());
    controller.setInputDeviceID(QLatin1StringView(SoundServer::microphoneID));
    QString failure;
    controller.onRecordingError = [&failure](const QString &message) { failure = message; };

    const ClockCapture clock(SoundServer::microphoneID);
    const double cpuBefore = processCPUSeconds();
    controller.start(path);
    QElapsedTimer elapsed;
    elapsed.start();
    for (int second = 0; second < seconds && failure.isEmpty(); ++second) {
        runEventLoop(700);
        QThread::msleep(300); // the window is busy
        runEventLoop(static_cast<int>(std::max(0LL, (second + 1) * 1000LL - elapsed.elapsed())));
    }
    controller.stopRecording();
    const double clockShortfall = clock.shortfall();
    const double wall = static_cast<double>(elapsed.nsecsElapsed()) / 1e9;
    const double cpu = processCPUSeconds() - cpuBefore - clock.cpuSeconds(); // the recorder's, not the clock's

    if (!failure.isEmpty())
        std::printf("  long take failed: %s\n", failure.toUtf8().constData());
    const auto frames = static_cast<double>(samplesOf(path).size());
    const double expected = wall * rate;
    std::printf("  samples lost over %.2f s with the main thread blocked 300 ms every second: %.0f frames "
                "written, %.0f expected, difference %+.0f frames (%+.1f ms)\n",
                wall, frames, expected, frames - expected, (frames - expected) / rate * 1000.0);
    std::printf("  a second capture of the same microphone over the same time: %+.1f ms against the wall clock\n",
                clockShortfall);
    std::printf("  CPU of the whole process with the meter running: %.3f s over %.2f s = %.2f %% of one core\n",
                cpu, wall, cpu / wall * 100.0);
}

} // namespace

int main(int argc, char **argv)
{
    const QCoreApplication application(argc, argv);
    const int seconds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 60;
    const QTemporaryDir dir;
    const BackendFactory make = [] { return std::make_unique<PulseAudioBackend>(); };
    for (const auto &[name, flavour] : {std::pair{"PulseAudio", SoundServer::Flavour::PulseAudio},
                                        std::pair{"PipeWire", SoundServer::Flavour::PipeWire}}) {
        QString whyNot;
        const std::unique_ptr<SoundServer> server = SoundServer::start(flavour, &whyNot);
        if (!server) {
            std::fprintf(stderr, "no %s server: %s\n", name, whyNot.toUtf8().constData());
            return 1;
        }
        server->useInThisProcess();
        std::printf("%s:\n", name);
        measureStartGap(make, dir);
        measureTail(make, dir, *server);
        measureLongTake(make, dir, seconds);
        std::fflush(stdout);
    }
    return 0;
}
