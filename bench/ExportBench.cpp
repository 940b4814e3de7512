// Exporting an hour of chosen takes (300 of 12 s) with trim and the r128 preset, beside the same
// loudness normalisation done with ffmpeg: an analysis pass, then a `volume` pass per file.
// The export's peak memory is read from a child process that does nothing else, for an hour
// and for a tenth of it: streamed, it should not grow with the length.

#include "core/EditorExport.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;
using namespace tarnwick;

namespace {

constexpr int rate = 48000;
constexpr int takeCount = 300;
constexpr double takeSeconds = 12.0;
constexpr double speechFrom = 0.8; // where the generated "speech" lies in every take
constexpr double speechTo = 11.0;

/// A project of `count` blocks, each with one chosen take: noise, then a warbling tone at a
/// level of its own, then noise.
class HourProject
{
public:
    explicit HourProject(int count)
    {
        m_project.root = m_dir.filePath(u"project"_s);
        m_project.name = u"bench"_s;
        QDir().mkpath(m_project.root + u"/Recordings"_s);
        std::mt19937 random(7);
        std::normal_distribution<float> noise(0.0f, 0.002f);
        std::vector<float> samples(std::size_t(takeSeconds * rate));
        for (int i = 0; i < count; ++i) {
            const QString number = QString::number(i + 1);
            m_project.blocks.append(ScriptBlock{u"b"_s + number, number, {}, {}, u"Текст "_s + number,
                                                u"Text "_s + number, {}, {}});
            const QUuid id = QUuid::createUuid();
            m_project.takes.append(Take{.id = id,
                                        .blockID = u"b"_s + number,
                                        .fileName = uuidText(id) + u".wav"_s,
                                        .createdAt = QDateTime(QDate(2025, 3, 14), QTime(9, 0), Qt::UTC),
                                        .selected = true});
            const double gain = std::pow(10.0, -(10.0 + i % 15) / 20.0);
            for (std::size_t s = 0; s < samples.size(); ++s) {
                const double t = double(s) / rate;
                samples[s] = noise(random);
                if (t >= speechFrom && t < speechTo)
                    samples[s] += float(gain * std::sin(2 * M_PI * (220 + 80 * std::sin(3 * t)) * t));
            }
            const QByteArray path = QFile::encodeName(audioPath(m_project.takes.constLast()));
            SF_INFO info{0, rate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0, 0};
            SNDFILE *file = sf_open(path.constData(), SFM_WRITE, &info);
            sf_writef_float(file, samples.data(), sf_count_t(samples.size()));
            sf_close(file);
        }
        // The take figures come from the studio's analysis, made once after each recording.
        m_project.speechOf = [](const Take &, const QString &) { return SpeechSpan{speechFrom, speechTo}; };
    }

    QString audioPath(const Take &take) const { return m_project.root + u"/Recordings/"_s + take.fileName; }
    const ExportProject &project() const { return m_project; }
    QString scratch(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    ExportProject m_project;
};

const HourProject &hour()
{
    static const HourProject instance(takeCount); // made once: writing the takes is not measured
    return instance;
}

void BM_Export(benchmark::State &state)
{
    int run = 0;
    for (auto _ : state) {
        const ExportSummary summary =
            exportForEditor(hour().project(), hour().scratch(u"out"_s + QString::number(run++)), {});
        benchmark::DoNotOptimize(summary);
    }
    state.counters["audio_s"] = takeCount * takeSeconds;
}

/// The peak memory of a child that runs one export of `count` takes into a new folder, in MB.
double exportPeakMegabytes(const HourProject &source, const QString &outDir)
{
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            exportForEditor(source.project(), outDir, {});
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? double(usage.ru_maxrss) / 1024.0 : -1.0;
}

void BM_ExportPeakMemory(benchmark::State &state)
{
    const HourProject tenth(takeCount / 10);
    double shortRun = 0;
    double longRun = 0;
    int run = 0;
    for (auto _ : state) {
        shortRun = exportPeakMegabytes(tenth, tenth.scratch(u"memory"_s + QString::number(run)));
        longRun = exportPeakMegabytes(hour(), hour().scratch(u"memory"_s + QString::number(run++)));
    }
    state.counters["peak_MB_6min"] = shortRun;
    state.counters["peak_MB_1h"] = longRun;
}

/// CPU seconds used by finished child processes so far: ffmpeg's work, which the benchmark's own
/// CPU time does not see.
double childrenCPUSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QString runFfmpeg(const QStringList &arguments)
{
    QProcess process;
    process.start(u"ffmpeg"_s, QStringList{u"-hide_banner"_s, u"-nostats"_s, u"-y"_s} + arguments);
    process.waitForFinished(-1);
    return QString::fromUtf8(process.readAllStandardError());
}

void BM_Ffmpeg(benchmark::State &state)
{
    const QRegularExpression integrated(u"I:\\s+(-?[\\d.]+) LUFS"_s);
    const QRegularExpression truePeak(u"Peak:\\s+(-?[\\d.]+) dBFS"_s);
    const QString out = hour().scratch(u"ffmpeg"_s);
    QDir().mkpath(out);
    const double cpuBefore = childrenCPUSeconds();
    for (auto _ : state) {
        for (const Take &take : hour().project().takes) {
            const QString in = hour().audioPath(take);
            const QString log = runFfmpeg({u"-i"_s, in, u"-af"_s, u"ebur128=peak=true"_s, u"-f"_s, u"null"_s, u"-"_s});
            const QString summary = log.mid(log.lastIndexOf(u"Summary:"_s));
            const double lufs = integrated.match(summary).captured(1).toDouble();
            const double peak = truePeak.match(summary).captured(1).toDouble();
            const double gain = std::min(-23.0 - lufs, -1.0 - peak);
            runFfmpeg({u"-i"_s, in, u"-af"_s, u"volume="_s + QString::number(gain, 'f', 2) + u"dB"_s, u"-c:a"_s,
                       u"pcm_s24le"_s, out + u'/' + take.fileName});
        }
    }
    state.counters["audio_s"] = takeCount * takeSeconds;
    state.counters["ffmpeg_cpu_s"] = childrenCPUSeconds() - cpuBefore;
}

BENCHMARK(BM_Export)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_Ffmpeg)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExportPeakMemory)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    const QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    hour(); // the takes are written before anything is timed
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
