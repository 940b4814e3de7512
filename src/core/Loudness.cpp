#include "core/Loudness.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace tarnwick {

std::optional<LoudnessPreset> loudnessPresetNamed(const QString &name)
{
    for (const LoudnessPreset preset :
         {LoudnessPreset::r128, LoudnessPreset::web, LoudnessPreset::stream, LoudnessPreset::none}) {
        if (loudnessPresetName(preset) == name)
            return preset;
    }
    return std::nullopt;
}

QString loudnessPresetName(LoudnessPreset preset)
{
    switch (preset) {
    case LoudnessPreset::r128:
        return u"r128"_s;
    case LoudnessPreset::web:
        return u"web"_s;
    case LoudnessPreset::stream:
        return u"stream"_s;
    case LoudnessPreset::none:
        return u"none"_s;
    }
    return {};
}

std::optional<double> targetLUFS(LoudnessPreset preset)
{
    switch (preset) {
    case LoudnessPreset::r128:
        return -23.0;
    case LoudnessPreset::web:
        return -16.0;
    case LoudnessPreset::stream:
        return -14.0;
    case LoudnessPreset::none:
        return std::nullopt;
    }
    return std::nullopt;
}

LoudnessGain gainFor(LoudnessPreset preset, double lufs, double truePeakDBTP)
{
    const std::optional<double> target = targetLUFS(preset);
    if (!target || !std::isfinite(lufs))
        return {};
    const double wanted = *target - lufs;
    // A silent clip has no true peak to stop the gain; its loudness is not finite either.
    if (std::isfinite(truePeakDBTP) && truePeakDBTP + wanted > truePeakCeilingDBTP)
        return {truePeakCeilingDBTP - truePeakDBTP, true};
    return {wanted, false};
}

} // namespace tarnwick
