// The cost of one meter tick: the timer's hand-off to the main thread, the meter read, the level
// curve, the published assignments and the 52-entry history's append and trim.

#include "audio/AudioController.h"
#include "audio/FakeAudioBackend.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

using namespace Qt::StringLiterals;
using namespace tarnwick;

namespace {

void meterTick(benchmark::State &state)
{
    auto owned = std::make_unique<FakeAudioBackend>();
    FakeAudioBackend *backend = owned.get();
    AudioController controller(std::move(owned));
    controller.start(u"/bench/take.wav"_s);
    float power = -50.0f;
    for (auto _ : state) {
        backend->readings.push_back({power, power});
        power = power > -5.0f ? -50.0f : power + 0.5f;
        backend->timer->tick();
        QCoreApplication::processEvents();
    }
    benchmark::DoNotOptimize(controller.levelHistory().constData());
    controller.stopRecording();
}
BENCHMARK(meterTick);

void levelCurve(benchmark::State &state)
{
    float power = -60.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(AudioController::levelForPower(power));
        power = power > 3.0f ? -60.0f : power + 0.25f;
    }
}
BENCHMARK(levelCurve);

} // namespace

int main(int argc, char **argv)
{
    const QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
