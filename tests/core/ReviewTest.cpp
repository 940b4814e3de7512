// Trim points and loudness gain: the arithmetic an export and a listen-through share.

#include "core/Loudness.h"
#include "core/TrimPoints.h"

#include "support/TestSupport.h"

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

TEST(TrimPoints, PaddedSpeechClampedToTheFileAndStoredPointsWin)
{
    const struct
    {
        const char *name;
        std::optional<double> storedIn, storedOut;
        std::optional<SpeechSpan> speech;
        TrimPoints expected;
    } cases[] = {
        {"padded", {}, {}, SpeechSpan{1.0, 4.0}, {0.85, 4.3, true}},
        {"clamped at both ends", {}, {}, SpeechSpan{0.1, 4.9}, {0.0, 5.0, true}},
        {"no speech: whole file", {}, {}, std::nullopt, {0.0, 5.0, true}},
        {"empty speech: whole file", {}, {}, SpeechSpan{2.0, 2.0}, {0.0, 5.0, true}},
        {"both stored", 0.5, 2.0, SpeechSpan{1.0, 4.0}, {0.5, 2.0, false}},
        {"stored in only", 0.5, {}, SpeechSpan{1.0, 4.0}, {0.5, 4.3, false}},
        {"stored out past the end", {}, 9.0, SpeechSpan{1.0, 4.0}, {0.85, 5.0, false}},
        {"stored beyond the file", 6.0, 7.0, std::nullopt, {0.0, 5.0, false}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Take take = sampleTake(u"b1"_s);
        take.trimIn = c.storedIn;
        take.trimOut = c.storedOut;
        const TrimPoints points = trimPointsFor(take, 5.0, c.speech);
        EXPECT_NEAR(points.in, c.expected.in, 1e-9);
        EXPECT_NEAR(points.out, c.expected.out, 1e-9);
        EXPECT_EQ(points.automatic, c.expected.automatic);
    }
}

TEST(Loudness, GainReachesTheTargetButNeverPassesTheCeiling)
{
    const double silence = -std::numeric_limits<double>::infinity();
    const struct
    {
        const char *preset;
        double lufs, truePeak;
        LoudnessGain expected;
    } cases[] = {
        {"r128", -30.0, -12.0, {7.0, false}},
        {"web", -20.0, -6.0, {4.0, false}},
        {"stream", -20.0, -3.0, {2.0, true}},
        {"r128", -15.0, -0.5, {-8.0, false}},
        {"r128", -23.0, 0.5, {-1.5, true}}, // already loud enough, but over the ceiling
        {"none", -30.0, 2.0, {0.0, false}},
        {"stream", silence, silence, {0.0, false}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.preset) + " " + std::to_string(c.lufs));
        const std::optional<LoudnessPreset> preset = loudnessPresetNamed(QString::fromLatin1(c.preset));
        ASSERT_TRUE(preset);
        EXPECT_EQ(loudnessPresetName(*preset), QString::fromLatin1(c.preset));
        const LoudnessGain gain = gainFor(*preset, c.lufs, c.truePeak);
        EXPECT_NEAR(gain.gainDB, c.expected.gainDB, 1e-9);
        EXPECT_EQ(gain.limited, c.expected.limited);
    }
    EXPECT_FALSE(loudnessPresetNamed(u"R128"_s));
}
