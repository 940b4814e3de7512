#include "core/TakeAnalysis.h"

#include "support/TakeCorpus.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

enum class Source { speech, tone1k, tone12kBetweenSamples, nothing };

/// A take of the corpus: a source at a gain between pauses over a background of white noise,
/// optionally driven past full scale. A negative pause cuts that much off the speech.
struct Recipe
{
    const char *name;
    Source source;
    double gainDB;
    QList<TakeFlag> flags; // what it is made to raise
    double head = 0.5, tail = 0.5, noiseDB = -80, drive = 1;
};

const Recipe corpus[] = {
    {"tone 1 kHz", Source::tone1k, -20, {}},
    {"tone peaking between samples", Source::tone12kBetweenSamples, -0.1, {TakeFlag::Loud}},
    {"speech", Source::speech, 0, {}},
    {"speech, long tail", Source::speech, -5, {}, 0.3, 1.2},
    {"quiet speech", Source::speech, -15, {TakeFlag::Quiet}},
    {"speech driven x8 into clipping",
     Source::speech,
     0,
     {TakeFlag::Clipping, TakeFlag::Loud},
     0.5,
     0.5,
     -80,
     8},
    {"speech over noise", Source::speech, 0, {TakeFlag::Noisy}, 0.5, 0.5, -45},
    {"background only", Source::nothing, 0, {TakeFlag::Silent}},
    {"speech cut at the head", Source::speech, 0, {TakeFlag::CutHead}, -0.3},
    {"speech cut at the tail", Source::speech, 0, {TakeFlag::CutTail}, 0.5, -0.08},
};

struct Measured
{
    const Recipe *recipe;
    TakeFigures figures;
    qint64 extremes = 0;
    std::optional<double> start, end; // where the speech or tone was put
    QString reference;                // the independent meter's frame log
};

} // namespace

class TakeAnalysisTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_dir = new QTemporaryDir;
        const Phrase phrase = spokenPhrase(s_dir->path());
        ASSERT_FALSE(phrase.samples.empty()) << "espeak-ng and ffmpeg make the corpus";
        std::mt19937 random(7);
        std::vector<std::unique_ptr<QProcess>> meters;
        for (const Recipe &recipe : corpus) {
            std::vector<float> source = phrase.samples;
            double onset = phrase.onsetSeconds, offset = phrase.offsetSeconds;
            if (recipe.source != Source::speech) {
                source.assign(recipe.source == Source::nothing ? 0 : 48000 * 2, 0.0f);
                for (size_t i = 0; i < source.size(); ++i)
                    source[i] = static_cast<float>(
                        std::sin(2 * std::numbers::pi * (recipe.source == Source::tone1k ? 1000 : 12000) *
                                     static_cast<double>(i) / 48000 +
                                 std::numbers::pi / 4));
                onset = 0, offset = static_cast<double>(source.size()) / 48000;
            }
            const auto pad = [](double seconds) {
                return static_cast<qsizetype>(std::max(0.0, seconds) * 48000);
            };
            const auto cutHead = static_cast<qsizetype>(std::max(0.0, -recipe.head) * 48000 + onset * 48000) *
                                 (recipe.head < 0);
            const auto cutTail =
                static_cast<qsizetype>(
                    std::max(0.0, -recipe.tail + static_cast<double>(source.size()) / 48000 - offset) *
                    48000) *
                (recipe.tail < 0);
            std::vector<float> take(static_cast<size_t>(pad(recipe.head)), 0.0f);
            take.insert(take.end(), source.begin() + cutHead, source.end() - cutTail);
            take.resize(take.size() + static_cast<size_t>(pad(recipe.tail)), 0.0f);
            std::normal_distribution<float> noise(0.0f,
                                                  static_cast<float>(std::pow(10, recipe.noiseDB / 20)));
            for (float &sample : take)
                sample =
                    std::clamp(static_cast<float>(sample * std::pow(10, recipe.gainDB / 20) * recipe.drive) +
                                   noise(random),
                               -1.0f, 1.0f);

            Measured measured{&recipe, {}, 0, std::nullopt, std::nullopt, {}};
            if (recipe.source != Source::nothing) {
                const double shift = static_cast<double>(pad(recipe.head) - cutHead) / 48000;
                measured.start = std::max(0.0, onset + shift);
                measured.end = std::min(static_cast<double>(take.size()) / 48000, offset + shift);
            }
            const QString path = s_dir->filePath(QString::number(s_measured.size()) + u".wav"_s);
            measured.extremes = writeTake(path, take);
            measured.figures = analyseTake(path);
            s_measured.push_back(measured);
            meters.push_back(
                startProgram(u"ffmpeg"_s, {u"-nostats"_s, u"-i"_s, path, u"-af"_s,
                                           u"ebur128=peak=true:metadata=1,ametadata=print:file=-"_s, u"-f"_s,
                                           u"null"_s, u"-"_s}));
        }
        for (size_t i = 0; i < meters.size(); ++i)
            s_measured[i].reference = finish(*meters[i]).out;
    }
    static void TearDownTestSuite() { delete s_dir; }

    /// The last value of a key in the meter's frame log; the running ones end at the whole take's.
    static double reference(const QString &log, const QString &key)
    {
        const qsizetype at = log.lastIndexOf(key + u'=');
        return at < 0 ? NAN
                      : log.mid(at + key.size() + 1, log.indexOf(u'\n', at) - at - key.size() - 1).toDouble();
    }

    static inline QTemporaryDir *s_dir = nullptr;
    static inline std::vector<Measured> s_measured;
};

TEST_F(TakeAnalysisTest, AgreesWithAnIndependentMeterAndCountsEveryClippedSample)
{
    for (const Measured &take : s_measured) {
        SCOPED_TRACE(take.recipe->name);
        const double lufs = reference(take.reference, u"lavfi.r128.I"_s);
        if (lufs > -70)
            EXPECT_NEAR(take.figures.integratedLUFS.value_or(NAN), lufs, 0.1);
        else
            EXPECT_FALSE(take.figures.integratedLUFS);
        // The meter logs linear peaks to three decimals: too coarse below 0.1.
        const double peak = reference(take.reference, u"lavfi.r128.true_peak"_s);
        if (peak >= 0.1)
            EXPECT_NEAR(take.figures.truePeakDBTP, 20 * std::log10(peak), 0.2);
        else
            EXPECT_LT(take.figures.truePeakDBTP, -20);
        EXPECT_EQ(take.figures.clippedSamples, take.extremes);
    }
}

TEST_F(TakeAnalysisTest, FindsSpeechWithin30MillisecondsAtTheMedian)
{
    std::vector<double> errors;
    for (const Measured &take : s_measured) {
        SCOPED_TRACE(take.recipe->name);
        ASSERT_EQ(take.figures.speechStartSeconds.has_value(), take.start.has_value());
        if (take.start) {
            errors.push_back(std::abs(*take.figures.speechStartSeconds - *take.start));
            errors.push_back(std::abs(*take.figures.speechEndSeconds - *take.end));
        }
    }
    std::nth_element(errors.begin(), errors.begin() + static_cast<qsizetype>(errors.size() / 2),
                     errors.end());
    EXPECT_LT(errors[errors.size() / 2], 0.030);
}

TEST_F(TakeAnalysisTest, RaisesEachFlagOnTheTakeMadeForItAndNoOther)
{
    for (const Measured &take : s_measured) {
        SCOPED_TRACE(take.recipe->name);
        EXPECT_EQ(takeFlags(take.figures), take.recipe->flags);
    }
}

TEST_F(TakeAnalysisTest, UnreadableFilesAreNamed)
{
    const QString garbage = s_dir->filePath(u"garbage.wav"_s);
    writeBytes(garbage, "RIFF....WAVEjunk");
    EXPECT_THROW_MESSAGE(analyseTake(u"/nonexistent/a.wav"_s), u"Аудиофайл «/nonexistent/a.wav» не найден"_s);
    EXPECT_THROW_MESSAGE(analyseTake(garbage),
                         u"Аудиофайл «"_s + garbage + u"» не читается: повреждён или это не звуковой файл"_s);
}
