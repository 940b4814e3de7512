// Measuring a take: a 60 s take analysed by the studio beside ffmpeg's loudness meter on the same
// file in the same run, and the time from Save to the figures being published (goal: under 1 s).

#include "QuietServices.h"
#include "audio/FakeAudioBackend.h"
#include "core/TakeAnalysis.h"
#include "studio/Studio.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace tarnwick;

namespace {

/// A minute of tone bursts over faint noise, as 24-bit 48 kHz mono: two seconds on, one off.
QString minuteTake(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(u"minute.wav"_s);
    QProcess ffmpeg;
    ffmpeg.start(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-y"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
                               u"aevalsrc=0.3*sin(2*PI*440*t)*lt(mod(t\\,3)\\,2)+0.001*(random(0)-0.5):s=48000:d=60"_s,
                               u"-c:a"_s, u"pcm_s24le"_s, path});
    ffmpeg.waitForFinished(60000);
    return ffmpeg.exitCode() == 0 ? path : QString();
}

QTemporaryDir &folder()
{
    static QTemporaryDir dir; // one take for every benchmark: making it is not what is measured
    return dir;
}

const QString &take()
{
    static const QString path = minuteTake(folder());
    return path;
}

void BM_AnalyseMinuteTake(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(analyseTake(take()));
}
BENCHMARK(BM_AnalyseMinuteTake)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FfmpegLoudnessMeter(benchmark::State &state)
{
    for (auto _ : state) {
        QProcess ffmpeg;
        ffmpeg.start(u"ffmpeg"_s, {u"-nostats"_s, u"-i"_s, take(), u"-af"_s, u"ebur128=peak=true"_s, u"-f"_s,
                                   u"null"_s, u"-"_s});
        if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
            state.SkipWithError("ffmpeg failed");
    }
}
BENCHMARK(BM_FfmpegLoudnessMeter)->Unit(benchmark::kMillisecond)->UseRealTime();

/// Save pressed on a 60 s take, until the studio publishes its figures; the event loop runs
/// meanwhile, as in the window.
void BM_SaveToFiguresPublished(benchmark::State &state)
{
    QTemporaryDir dir;
    auto backend = std::make_unique<FakeAudioBackend>();
    FakeAudioBackend *audio = backend.get();
    Studio studio(dir.path(), bench::quietServices(), std::move(backend), false);
    const ScriptBlock block{u"b1"_s, u"1"_s, std::nullopt, std::nullopt, u"Текст"_s, u"Text"_s, std::nullopt,
                            std::nullopt};
    studio.open(ProjectStore::create(dir.path(), {block}, u"bench"_s));
    const auto waitUntil = [](const std::function<bool()> &done) {
        while (!done())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    };
    for (auto _ : state) {
        studio.record(block);
        waitUntil([&] { return !studio.busy(); });
        if (!studio.recording() || !QFile::copy(take(), audio->recorder->url)) {
            state.SkipWithError("the take did not start");
            return;
        }
        QElapsedTimer clock;
        clock.start();
        studio.stopRecording();
        const QUuid id = studio.takes().constLast().id;
        // Waiting in the event loop, not spinning it: the worker needs the other core.
        QEventLoop loop;
        QObject::connect(&studio, &Studio::figuresChanged, &loop, [&] {
            if (studio.figures(id))
                loop.quit();
        });
        loop.exec();
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_SaveToFiguresPublished)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

} // namespace

int main(int argc, char **argv)
{
    const QCoreApplication application(argc, argv);
    if (take().isEmpty()) {
        std::fprintf(stderr, "ffmpeg could not make the 60 s take\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
