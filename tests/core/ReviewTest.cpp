// Trim points and loudness gain: the arithmetic an export and a listen-through share.

#include "core/Loudness.h"
#include "core/TrimPoints.h"

#include "support/TestSupport.h"

#include <QFile>

#include <sndfile.h>

#include <cmath>
#include <random>
#include <vector>

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
        {"both stored", 0.5, 2.0, SpeechSpan{1.0, 4.0}, {0.5, 2.0, false}},
        {"stored in only", 0.5, {}, SpeechSpan{1.0, 4.0}, {0.5, 4.3, false}},
        {"stored out past the end", {}, 9.0, SpeechSpan{1.0, 4.0}, {0.85, 5.0, false}},
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
        {"stream", -HUGE_VAL, -HUGE_VAL, {0.0, false}}, // silence
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.preset) + " " + std::to_string(c.lufs));
        const LoudnessGain gain = gainFor(loudnessPresetNamed(QString::fromLatin1(c.preset)).value(), c.lufs, c.truePeak);
        EXPECT_NEAR(gain.gainDB, c.expected.gainDB, 1e-9);
        EXPECT_EQ(gain.limited, c.expected.limited);
    }
}

TEST(TrimPoints, NeverCutKnownSpeech)
{
    QTemporaryDir dir;
    const struct
    {
        const char *text;
        double offset; // seconds of noise before the speech
        float gain;
    } cases[] = {
        {"Фотон выбивает электрон", 0.05, 0.5f},
        {"Каждая ячейка — тонкая пластина кремния", 1.0, 0.06f},
        {"Свет становится током, и ток течёт", 2.0, 0.25f},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        const QString voice = dir.filePath(u"voice.wav"_s), path = dir.filePath(u"take.wav"_s);
        ASSERT_EQ(runProgram(u"espeak-ng"_s, {u"-v"_s, u"ru"_s, u"-w"_s, voice, QString::fromUtf8(c.text)}).exitCode, 0);
        SF_INFO info{};
        SNDFILE *file = sf_open(QFile::encodeName(voice).constData(), SFM_READ, &info);
        // The voice placed in room noise (-50 dBFS) at its own rate; speech is every stretch of
        // it that is not digital silence.
        const auto offset = std::size_t(c.offset * info.samplerate);
        std::vector<float> speech(std::size_t(info.frames)), take(offset + speech.size() + std::size_t(info.samplerate));
        sf_readf_float(file, speech.data(), info.frames);
        sf_close(file);
        std::mt19937 random(1);
        std::normal_distribution<float> noise(0.0f, 0.003f);
        double first = -1, last = -1;
        for (std::size_t i = 0; i < take.size(); ++i) {
            const float voiced = i >= offset && i - offset < speech.size() ? speech[i - offset] : 0.0f;
            take[i] = noise(random) + voiced * c.gain;
            if (std::abs(voiced) > 1e-4f) {
                last = double(i) / info.samplerate;
                first = first < 0 ? last : first;
            }
        }
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
        file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
        sf_writef_float(file, take.data(), sf_count_t(take.size()));
        sf_close(file);

        const TakeFigures figures = analyseTake(path);
        const TrimPoints points = trimPointsFor(sampleTake(u"b"_s), figures.durationSeconds, speechSpan(figures));
        EXPECT_LE(points.in, first);
        EXPECT_GE(points.out, last);
        EXPECT_LT(points.duration(), last - first + 1.0) << "the noise around should go";
    }
}
