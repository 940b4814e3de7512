#pragma once

#include <QString>

#include <optional>

namespace tarnwick {

/// A loudness target for delivery; `none` leaves every gain at 0 dB.
enum class LoudnessPreset { r128, web, stream, none };

/// The preset of a command-line name ("r128", "web", "stream", "none").
std::optional<LoudnessPreset> loudnessPresetNamed(const QString &name);
QString loudnessPresetName(LoudnessPreset preset);

/// Integrated loudness in LUFS of the preset; none for `none`.
std::optional<double> targetLUFS(LoudnessPreset preset);
inline constexpr double truePeakCeilingDBTP = -1.0;

struct LoudnessGain
{
    double gainDB = 0.0;
    bool limited = false; // the ceiling stopped the gain short of the target

    friend bool operator==(const LoudnessGain &, const LoudnessGain &) = default;
};

/// The gain that brings audio of `lufs` to the preset's target, stopped where its true peak
/// would pass the ceiling. Gain only: audio without measurable loudness (silence) keeps 0 dB.
LoudnessGain gainFor(LoudnessPreset preset, double lufs, double truePeakDBTP);

} // namespace tarnwick
