#include "core/TrimPoints.h"

#include <algorithm>

namespace tarnwick {

std::optional<SpeechSpan> speechSpan(const TakeFigures &figures)
{
    if (!figures.speechStartSeconds || !figures.speechEndSeconds)
        return std::nullopt;
    return SpeechSpan{*figures.speechStartSeconds, *figures.speechEndSeconds};
}

TrimPoints trimPointsFor(const Take &take, double fileSeconds, const std::optional<SpeechSpan> &speech)
{
    const double length = std::max(fileSeconds, 0.0);
    TrimPoints automatic{0.0, length, true};
    if (speech && speech->end > speech->start) {
        automatic.in = std::clamp(speech->start - trimPaddingBefore, 0.0, length);
        automatic.out = std::clamp(speech->end + trimPaddingAfter, 0.0, length);
        if (automatic.out <= automatic.in)
            automatic = {0.0, length, true};
    }
    if (!take.trimIn && !take.trimOut)
        return automatic;
    const TrimPoints stored{std::clamp(take.trimIn.value_or(automatic.in), 0.0, length),
                            std::clamp(take.trimOut.value_or(automatic.out), 0.0, length), false};
    return stored.out > stored.in ? stored : TrimPoints{0.0, length, false};
}

} // namespace tarnwick
