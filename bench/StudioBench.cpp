// The status column of a large project: what the table asks on every redraw, about 17 times a
// second while recording. The studio's indexed answer beside a plain scan of every take.

#include "BenchProject.h"
#include "QuietServices.h"
#include "audio/FakeAudioBackend.h"
#include "studio/Studio.h"

#include <QCoreApplication>
#include <QHash>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace tarnwick;

namespace {

constexpr int blockCount = 1000;
constexpr int takeCount = 10000;

/// 1,000 blocks of three marked segments and 10,000 takes spread over them, a third chosen.
struct LargeStudio
{
    QTemporaryDir dir;
    Studio studio{dir.path(), bench::quietServices(), std::make_unique<FakeAudioBackend>(), false};

    LargeStudio()
    {
        QList<ScriptBlock> blocks;
        for (int i = 1; i <= blockCount; ++i) {
            const QString n = QString::number(i);
            QString text;
            for (const char *part : {"a", "b", "c"})
                text += u"[voice:"_s + QLatin1StringView(part) + n + u"]\nSentence.\n"_s;
            blocks.append(ScriptBlock{u"b"_s + n, n, std::nullopt, std::nullopt, u""_s, text, std::nullopt,
                                      std::nullopt});
        }
        studio.open(bench::projectWithTakes(dir.path(), blocks, takeCount));
    }
};

const LargeStudio &large()
{
    static const LargeStudio instance; // built once: making the project is not what is measured
    return instance;
}

/// The rules as a plain scan of `takes` for every question, nothing kept between calls.
QString plainStatus(const ScriptBlock &block, const QList<Take> &takes)
{
    const auto has = [&](const QString &id, bool chosen) {
        return std::any_of(takes.cbegin(), takes.cend(),
                           [&](const Take &t) { return t.blockID == id && (!chosen || t.selected); });
    };
    if (block.voiceMarkerIssue())
        return u"Ошибка разметки"_s;
    const QList<VoiceSegment> segments = block.voiceSegments();
    if (block.hasVoiceMarkers()) {
        if (std::all_of(segments.cbegin(), segments.cend(), [&](const VoiceSegment &s) { return has(s.id, true); }))
            return u"Утверждено"_s;
        if (std::any_of(segments.cbegin(), segments.cend(), [&](const VoiceSegment &s) { return has(s.id, false); }))
            return u"В работе"_s;
    }
    if (has(block.id, true))
        return u"Утверждено"_s;
    if (has(block.id, false))
        return u"Есть дубли"_s;
    return block.voiceStatus && !block.voiceStatus->isEmpty() ? *block.voiceStatus : u"Не записано"_s;
}

void BM_WholeTableIndexed(benchmark::State &state)
{
    const Studio &studio = large().studio;
    for (auto _ : state) {
        for (const ScriptBlock &block : studio.blocks())
            benchmark::DoNotOptimize(studio.status(block));
    }
}
BENCHMARK(BM_WholeTableIndexed)->Unit(benchmark::kMicrosecond);

void BM_WholeTablePlainScan(benchmark::State &state)
{
    const Studio &studio = large().studio;
    for (auto _ : state) {
        for (const ScriptBlock &block : studio.blocks())
            benchmark::DoNotOptimize(plainStatus(block, studio.takes()));
    }
}
BENCHMARK(BM_WholeTablePlainScan)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    const QCoreApplication application(argc, argv);
    const Studio &studio = large().studio;
    // Both answers must agree before their speed means anything.
    for (const ScriptBlock &block : studio.blocks()) {
        if (statusText(studio.status(block)) != plainStatus(block, studio.takes())) {
            std::fprintf(stderr, "status differs for block %s\n", qPrintable(block.number));
            return 1;
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
