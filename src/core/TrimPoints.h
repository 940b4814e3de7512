#pragma once

#include "core/Take.h"
#include "core/TakeAnalysis.h"

#include <optional>

namespace tarnwick {

/// Where a take's speech starts and ends, in seconds into its file.
struct SpeechSpan
{
    double start = 0.0;
    double end = 0.0;
};

/// The speech the figures found, if any.
std::optional<SpeechSpan> speechSpan(const TakeFigures &figures);

/// The part of a take that is used: [in, out) in seconds into its file. The file is never cut.
struct TrimPoints
{
    double in = 0.0;
    double out = 0.0;
    bool automatic = true; // neither point was set by hand

    double duration() const { return out - in; }
    friend bool operator==(const TrimPoints &, const TrimPoints &) = default;
};

inline constexpr double trimPaddingBefore = 0.15; // seconds kept before the speech
inline constexpr double trimPaddingAfter = 0.3;   // seconds kept after it: breaths and reverb tails

/// The speech padded and clamped to the file, or the whole file without speech; a point stored
/// in the take wins over the automatic one. A stored point that the file does not reach is
/// clamped to it, and a pair that leaves nothing between them gives the whole file.
TrimPoints trimPointsFor(const Take &take, double fileSeconds, const std::optional<SpeechSpan> &speech);

} // namespace tarnwick
