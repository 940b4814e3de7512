#include "core/TakeAnalysis.h"

#include "core/FiguresCache.h"
#include "support/TestSupport.h"

#include <QFile>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

/// A Russian sentence spoken by espeak-ng at 48 kHz, trimmed to its first and last sample above
/// -60 dBFS; empty when espeak-ng or ffmpeg failed.
std::vector<float> spokenPhrase(const QString &directory)
{
    const QString raw = directory + u"/phrase.f32"_s;
    const QString trim = u"silenceremove=start_periods=1:start_threshold=-60dB:detection=peak,areverse"_s;
    const QString script = u"espeak-ng -v ru --stdout \"$1\" | ffmpeg -v error -i - -af "_s + trim + u","_s +
                           trim + u" -ar 48000 -f f32le \"$2\""_s;
    runProgram(u"sh"_s, {u"-c"_s, script, u"sh"_s, u"Проверка записи голоса, раз, два, три."_s, raw});
    const QByteArray bytes = readBytes(raw);
    std::vector<float> samples(static_cast<size_t>(bytes.size()) / sizeof(float));
    std::memcpy(samples.data(), bytes.constData(), samples.size() * sizeof(float));
    return samples;
}

/// A mono 48 kHz WAV, 24-bit ones cut at full scale; answers how many samples reach it.
qint64 writeTake(const QString &path, const std::vector<float> &samples, int subtype = SF_FORMAT_PCM_24)
{
    SF_INFO info{0, 48000, 1, SF_FORMAT_WAV | subtype, 0, 0};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
    return std::count_if(samples.cbegin(), samples.cend(),
                         [](float sample) { return std::abs(sample) >= 1; });
}

std::vector<float> tone(double hertz)
{
    std::vector<float> samples(2 * 48000);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<float>(
            std::sin(2 * std::numbers::pi * hertz * static_cast<double>(i) / 48000 + std::numbers::pi / 4));
    return samples;
}

/// The last value of `key` in ffmpeg's frame log: its running figures end at the whole take's.
double logged(const QString &log, const QString &key)
{
    const qsizetype at = log.lastIndexOf(key + u'=') + key.size() + 1;
    return at <= key.size() ? NAN : log.mid(at, log.indexOf(u'\n', at) - at).toDouble();
}

enum Sound { speech, tone1k, tone12k, nothing };

/// A take of the corpus: a sound at a gain between pauses over white noise, optionally driven
/// past full scale. A negative pause cuts that much off the sound instead.
struct Recipe
{
    const char *name;
    Sound sound;
    double gainDB;
    QList<TakeFlag> flags; // what it is made to raise
    double head = 0.5, tail = 0.5, noiseDB = -80, drive = 1;
    int subtype = SF_FORMAT_PCM_24;
};

using enum TakeFlag;
const Recipe corpus[] = {
    {"tone 1 kHz", tone1k, -20, {}},
    {"tone 12 kHz peaking between samples", tone12k, -0.1, {Loud}},
    {"speech", speech, 0, {}},
    {"speech, short head, long tail", speech, -5, {}, 0.3, 1.2},
    {"quiet speech", speech, -15, {Quiet}},
    {"quiet speech in floats, as an editor saves it", speech, -15, {Quiet}, 0.5, 0.5, -80, 1, SF_FORMAT_FLOAT},
    {"speech driven x8 into clipping", speech, 0, {Clipping, Loud}, 0.5, 0.5, -80, 8},
    {"speech over noise", speech, 0, {Noisy}, 0.5, 0.5, -45},
    {"background only", nothing, 0, {Silent}},
    {"speech cut at the head", speech, 0, {CutHead}, -0.3},
    {"speech cut at the tail", speech, 0, {CutTail}, 0.5, -0.08},
};

} // namespace

TEST(TakeAnalysis, CorpusAgreesWithAnIndependentMeterAndRaisesOnlyItsFlags)
{
    QTemporaryDir dir;
    const std::vector<float> sounds[] = {spokenPhrase(dir.path()), tone(1000), tone(12000), {}};
    ASSERT_FALSE(sounds[speech].empty()) << "espeak-ng and ffmpeg make the corpus";
    const QStringList meter{u"-af"_s, u"ebur128=peak=true:metadata=1,ametadata=print:file=-"_s, u"-f"_s,
                            u"null"_s, u"-"_s};
    std::mt19937 random(7);
    std::vector<double> speechErrors;
    for (const Recipe &recipe : corpus) {
        SCOPED_TRACE(recipe.name);
        const std::vector<float> &sound = sounds[recipe.sound];
        const auto at = [](double seconds) { return static_cast<qsizetype>(std::max(0.0, seconds) * 48000); };
        std::vector<float> take(static_cast<size_t>(at(recipe.head)));
        take.insert(take.end(), sound.begin() + at(-recipe.head), sound.end() - at(-recipe.tail));
        const double end = static_cast<double>(take.size()) / 48000; // where the sound ends
        take.resize(take.size() + static_cast<size_t>(at(recipe.tail)));
        std::normal_distribution<double> noise(0.0, std::pow(10, recipe.noiseDB / 20));
        for (float &sample : take)
            sample =
                static_cast<float>(sample * std::pow(10, recipe.gainDB / 20) * recipe.drive + noise(random));
        const QString path = dir.filePath(QString::fromLatin1(recipe.name) + u".wav"_s);
        const qint64 extremes = writeTake(path, take, recipe.subtype);

        const TakeFigures figures = analyseTake(path);
        const QString log = runProgram(u"ffmpeg"_s, QStringList{u"-nostats"_s, u"-i"_s, path} + meter).out;
        EXPECT_EQ(takeFlags(figures), recipe.flags);
        EXPECT_EQ(figures.clippedSamples, extremes);
        if (const double lufs = logged(log, u"lavfi.r128.I"_s); lufs > -70)
            EXPECT_NEAR(figures.integratedLUFS.value_or(NAN), lufs, 0.1);
        else
            EXPECT_FALSE(figures.integratedLUFS);
        // The meter logs linear peaks to three decimals: too coarse below 0.1.
        if (const double peak = logged(log, u"lavfi.r128.true_peak"_s); peak >= 0.1)
            EXPECT_NEAR(figures.truePeakDBTP, 20 * std::log10(peak), 0.2);
        else
            EXPECT_LT(figures.truePeakDBTP, -20);
        ASSERT_EQ(figures.speechStartSeconds.has_value(), !sound.empty());
        if (!sound.empty()) {
            speechErrors.push_back(std::abs(*figures.speechStartSeconds - std::max(0.0, recipe.head)));
            speechErrors.push_back(std::abs(*figures.speechEndSeconds - end));
        }
    }
    std::sort(speechErrors.begin(), speechErrors.end());
    EXPECT_LT(speechErrors[speechErrors.size() / 2], 0.030);
}

TEST(TakeAnalysis, EachFlagRisesJustPastItsThreshold)
{
    // A clean 2 s take, speech 0.5–1.5 s; each row moves one figure to either side of its line.
    const TakeFigures clean{2, -20, 0, -3, -3, 0, -70, 0.5, 1.5};
    const auto with = [&](auto change) {
        TakeFigures figures = clean;
        change(figures);
        return takeFlags(figures);
    };
    const std::pair<QList<TakeFlag>, QList<TakeFlag>> rows[] = {
        {with([](TakeFigures &f) { f.integratedLUFS = -30; }),
         with([](TakeFigures &f) { f.integratedLUFS = -30.01; })},
        {with([](TakeFigures &f) { f.truePeakDBTP = -1; }),
         with([](TakeFigures &f) { f.truePeakDBTP = -0.99; })},
        {with([](TakeFigures &f) { f.noiseFloorDBFS = -50; }),
         with([](TakeFigures &f) { f.noiseFloorDBFS = -49.99; })},
        {with([](TakeFigures &f) { f.speechStartSeconds = 0.05; }),
         with([](TakeFigures &f) { f.speechStartSeconds = 0.049; })},
        {with([](TakeFigures &f) { f.speechEndSeconds = 1.95; }),
         with([](TakeFigures &f) { f.speechEndSeconds = 1.951; })},
        {with([](TakeFigures &) {}), with([](TakeFigures &f) { f.clippedSamples = 1; })},
    };
    const TakeFlag raised[] = {TakeFlag::Quiet,   TakeFlag::Loud,    TakeFlag::Noisy,
                               TakeFlag::CutHead, TakeFlag::CutTail, TakeFlag::Clipping};
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(flagName(raised[i]).toStdString());
        EXPECT_EQ(rows[i].first, QList<TakeFlag>{}) << "on the line";
        EXPECT_EQ(rows[i].second, QList<TakeFlag>{raised[i]}) << "just past it";
    }
    EXPECT_EQ(with([](TakeFigures &f) { f.speechStartSeconds.reset(); }), QList<TakeFlag>{TakeFlag::Silent});
}

TEST(TakeAnalysis, UnreadableFilesAreNamed)
{
    const QString garbage = QStringLiteral(TARNWICK_SOURCE_DIR) + u"/resources/scenario.json"_s;
    EXPECT_THROW_MESSAGE(analyseTake(u"/nonexistent/a.wav"_s), u"Аудиофайл «/nonexistent/a.wav» не найден"_s);
    EXPECT_THROW_MESSAGE(analyseTake(garbage),
                         u"Аудиофайл «"_s + garbage + u"» не читается: повреждён или это не звуковой файл"_s);
}

TEST(FiguresCache, ReusesFreshFiguresAndMeasuresChangedFilesOrADamagedCacheAgain)
{
    QTemporaryDir dir;
    const ProjectStore store = ProjectStore::create(dir.path(), {sampleBlock(u"b"_s)}, u"p"_s);
    const Take take = sampleTake(u"b"_s);
    const QByteArray manifest = readBytes(store.manifestFile());
    const auto figuresNow = [&] {
        TakeFigures found;
        figuresOfTakes(
            store, {take}, [&](const QUuid &, const TakeFigures &figures) { found = figures; },
            FiguresCache::Scope::allTakes);
        return found;
    };
    writeTake(store.audioURL(take), std::vector<float>(48000, 1.0f));
    EXPECT_EQ(figuresNow().clippedSamples, 48000);
    // A figure no measurement gives shows whether the cache was read.
    writeBytes(store.figuresFile(),
               readBytes(store.figuresFile()).replace("\"clippedSamples\": 48000", "\"clippedSamples\": 7"));
    EXPECT_EQ(figuresNow().clippedSamples, 7);
    writeTake(store.audioURL(take), std::vector<float>(96000, 1.0f));
    EXPECT_EQ(figuresNow().clippedSamples, 96000);
    for (const char *damaged : {"{", "[]", "{\"version\": 1, \"takes\": {\"x\": 1}}"}) {
        SCOPED_TRACE(damaged);
        writeBytes(store.figuresFile(), damaged);
        EXPECT_EQ(figuresNow().clippedSamples, 96000);
        EXPECT_TRUE(FiguresCache::read(store.figuresFile()).fresh(take.id, store.audioURL(take)));
    }
    EXPECT_EQ(readBytes(store.manifestFile()), manifest);
}
