// The editor's package on disk: loudness as another meter hears it, repeats, changes, cancels
// and refusals. Takes are made at test time: a tone between noise, at known places and levels.
#include "core/EditorExport.h"

#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <sndfile.h>

#include <cmath>
#include <random>
#include <sys/stat.h>
#include <vector>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

constexpr int rate = 48000;

/// `seconds` of quiet noise with a 300 Hz tone from `from` to `to` at `toneDB` of full scale, and
/// optionally a click near full scale, which stops any gain early.
void writeTake(const QString &path, double toneDB, bool click, unsigned seed, double seconds = 3.0,
               double from = 0.5, double to = 2.5)
{
    std::mt19937 noise(seed);
    std::normal_distribution<float> gauss(0.0f, 0.001f);
    std::vector<float> samples(std::size_t(seconds * rate));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = double(i) / rate;
        samples[i] = gauss(noise);
        if (t >= from && t < to)
            samples[i] += float(std::pow(10.0, toneDB / 20.0) * std::sin(2 * M_PI * 300 * t));
    }
    if (click)
        samples[std::size_t(from * rate) + 100] = 0.95f;
    SF_INFO info{0, rate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0, 0};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    sf_writef_float(file, samples.data(), sf_count_t(samples.size()));
    sf_close(file);
}

struct Measured
{
    double lufs = 0.0;
    double truePeak = 0.0;
};

/// Integrated loudness and true peak as ffmpeg's meter reports them.
Measured ffmpegMeasure(const QString &path)
{
    const ProgramResult run = runProgram(u"ffmpeg"_s, {u"-nostats"_s, u"-hide_banner"_s, u"-i"_s, path, u"-af"_s,
                                                       u"ebur128=peak=true"_s, u"-f"_s, u"null"_s, u"-"_s});
    const QString summary = run.err.mid(run.err.lastIndexOf(u"Summary:"_s));
    const auto number = [&](const QString &pattern) {
        return QRegularExpression(pattern).match(summary).captured(1).toDouble();
    };
    return {number(u"I:\\s+(-?[\\d.]+) LUFS"_s), number(u"Peak:\\s+(-?[\\d.]+) dBFS"_s)};
}

/// Every file of a folder by name, with its bytes and inode (a rename in gives a new one).
QMap<QString, std::pair<QByteArray, ino_t>> snapshot(const QString &folder)
{
    QMap<QString, std::pair<QByteArray, ino_t>> files;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        struct stat info = {};
        ::stat(QFile::encodeName(folder + u'/' + name).constData(), &info);
        files.insert(name, {readBytes(folder + u'/' + name), info.st_ino});
    }
    return files;
}

class EditorExportTest : public ::testing::Test
{
protected:
    QTemporaryDir m_dir;
    ExportProject m_project{m_dir.filePath(u"p"_s), u"Урок"_s, {}, {}, {}};

    void SetUp() override
    {
        QDir().mkpath(m_project.root + u"/Recordings"_s);
        m_project.blocks = {spokenBlock(u"b1"_s, u"1"_s, u"Раз, два"_s, u"One"_s),
                            spokenBlock(u"b2"_s, u"2/a"_s, u"[voice:x]\nТри\n[voice:y]\nЧетыре"_s,
                                        u"[voice:x]\nThree\n[voice:y]\nFour"_s)};
        addTake(u"b1"_s, -30.0, false);
        addTake(u"voice:x"_s, -12.0, false);
        addTake(u"voice:y"_s, -35.0, true);
        // The tone is the speech the trim keeps.
        m_project.speechOf = [](const Take &, const QString &) { return SpeechSpan{0.5, 2.5}; };
    }

    Take addTake(const QString &recordingID, double toneDB, bool click)
    {
        Take take = sampleTake(recordingID);
        take.selected = true;
        take.createdAt = take.createdAt.addSecs(m_project.takes.size());
        writeTake(m_project.root + u"/Recordings/"_s + take.fileName, toneDB, click, unsigned(m_project.takes.size()));
        m_project.takes.append(take);
        return take;
    }

    ExportSummary exportTo(const QString &name, const ExportOptions &options = {}, const ExportControl &control = {})
    {
        return exportForEditor(m_project, m_dir.filePath(name), options, control);
    }

    /// The rows of cues.csv, split at commas (the test's texts hold none but the first).
    QList<QStringList> cues(const QString &name)
    {
        QList<QStringList> rows;
        const QString text = QString::fromUtf8(readBytes(m_dir.filePath(name + u"/cues.csv"_s)));
        for (const QString &line : text.split(u"\r\n"_s, Qt::SkipEmptyParts).mid(1))
            rows.append(line.split(u","_s));
        return rows;
    }
};

} // namespace

TEST_F(EditorExportTest, EachFileMeetsTheTargetOrStopsAtTheCeiling)
{
    m_project.blocks[0].russian = u"Раз"_s; // no comma: the rows split plainly
    const struct
    {
        const char *name;
        ExportOptions options;
        double target;
    } cases[] = {
        {"r128 per take", {LoudnessPreset::r128, GainMode::take}, -23.0},
        {"stream for the programme", {LoudnessPreset::stream, GainMode::programme}, -14.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        exportTo(QString::fromLatin1(c.name), c.options);
        const QList<QStringList> rows = cues(QString::fromLatin1(c.name));
        ASSERT_EQ(rows.size(), 3);
        for (const QStringList &row : rows) {
            SCOPED_TRACE(row.at(1).toStdString());
            const Measured measured = ffmpegMeasure(m_dir.filePath(QString::fromLatin1(c.name) + u'/' + row.at(1)));
            EXPECT_LE(measured.truePeak, truePeakCeilingDBTP + 0.05);
            EXPECT_NEAR(row.at(13).toDouble(), measured.lufs, 0.5); // the list tells the truth
            if (row.at(16) == u"no" && c.options.gain == GainMode::take) {
                EXPECT_NEAR(measured.lufs, c.target, 0.5);
            } else {
                EXPECT_LT(measured.lufs, c.target + 0.5);
            }
            if (c.options.gain == GainMode::programme) {
                EXPECT_EQ(row.at(15), rows.constFirst().at(15)); // one gain keeps relative levels
            }
        }
        // The click take cannot reach any target without passing the ceiling.
        EXPECT_EQ(rows.at(2).at(16), u"yes"_s);
    }
}

TEST_F(EditorExportTest, RepeatsAreIdenticalAndAChangedTakeRewritesOnlyItsFiles)
{
    const auto recordings = [&] { return snapshot(m_project.root + u"/Recordings"_s); };
    const auto before = recordings();
    const ExportSummary summary = exportTo(u"a"_s);
    EXPECT_EQ(summary.fileCount, 3);
    EXPECT_NEAR(summary.durationSeconds, 3 * 2.45 + 2 * 1.0, 1e-6); // trimmed, with two gaps
    exportTo(u"b"_s);
    const auto first = snapshot(m_dir.filePath(u"a"_s));
    EXPECT_EQ(first.keys(), snapshot(m_dir.filePath(u"b"_s)).keys());
    for (auto it = first.cbegin(); it != first.cend(); ++it)
        EXPECT_EQ(it->first, snapshot(m_dir.filePath(u"b"_s)).value(it.key()).first) << it.key().toStdString();
    const ProgramResult probe = runProgram(u"ffprobe"_s, {u"-hide_banner"_s, m_dir.filePath(u"a/002_2_a_x.wav"_s)});
    EXPECT_TRUE(probe.err.contains(u"comment         : block 2/a segment x take 1"_s)) << probe.err.toStdString();

    exportTo(u"a"_s);
    EXPECT_EQ(snapshot(m_dir.filePath(u"a"_s)), first) << "nothing changed, nothing rewritten";

    // Another take of the same length becomes the chosen one of segment x.
    m_project.takes[1].selected = false;
    addTake(u"voice:x"_s, -20.0, false);
    exportTo(u"a"_s);
    const auto second = snapshot(m_dir.filePath(u"a"_s));
    QStringList rewritten;
    for (auto it = second.cbegin(); it != second.cend(); ++it) {
        if (it->second != first.value(it.key()).second)
            rewritten.append(it.key());
    }
    EXPECT_EQ(rewritten, (QStringList{u".tarnwick-export.json"_s, u"002_2_a_x.wav"_s, u"SHA256SUMS"_s,
                                      u"cues.csv"_s, u"programme.wav"_s}));
    EXPECT_EQ(recordings().keys().size(), before.size() + 1);
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        EXPECT_EQ(recordings().value(it.key()).first, it->first) << "a take's file was touched";
}

TEST_F(EditorExportTest, ACancelledExportLeavesThePreviousOneWhole)
{
    exportTo(u"a"_s);
    const auto before = snapshot(m_dir.filePath(u"a"_s));
    m_project.takes[0].trimIn = 0.2;
    std::atomic<bool> cancelled = false;
    const ExportSummary summary =
        exportTo(u"a"_s, {}, {[&](double fraction) { cancelled = fraction > 0.6; }, &cancelled});
    EXPECT_TRUE(summary.cancelled);
    EXPECT_EQ(snapshot(m_dir.filePath(u"a"_s)), before);
}

TEST_F(EditorExportTest, RefusalsNameTheFolderOrTheMissingBlocks)
{
    QDir().mkpath(m_dir.filePath(u"busy"_s));
    writeBytes(m_dir.filePath(u"busy/notes.txt"_s), "x");
    writeBytes(m_dir.filePath(u"file"_s), "x");
    exportTo(u"earlier"_s);
    ExportProject other = m_project;
    other.root = m_dir.path();
    const QString refusal = u"» не пуста и не содержит прежнего экспорта этого проекта: выберите пустую или новую папку"_s;
    EXPECT_THROW_MESSAGE(exportTo(u"busy"_s), u"Папка «"_s + m_dir.filePath(u"busy"_s) + refusal);
    EXPECT_THROW_MESSAGE(exportForEditor(other, m_dir.filePath(u"earlier"_s), {}),
                         u"Папка «"_s + m_dir.filePath(u"earlier"_s) + refusal);
    EXPECT_THROW_MESSAGE(exportTo(u"file"_s), u"«"_s + m_dir.filePath(u"file"_s) + u"» — не папка: укажите папку для экспорта"_s);

    for (int i = 3; i <= 8; ++i)
        m_project.blocks.append(sampleBlock(u"m"_s + QString::number(i), QString::number(i)));
    EXPECT_THROW_MESSAGE(exportTo(u"new"_s), u"Сегментов без выбранного дубля: 6 (блоки 3, 4, 5, 6, 7…). Выберите дубли или разрешите частичный экспорт"_s);
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(u"new"_s)));
    ExportOptions partial;
    partial.partial = true;
    EXPECT_EQ(exportTo(u"new"_s, partial).missingCount, 6);
    EXPECT_EQ(readBytes(m_dir.filePath(u"new/missing.txt"_s)), "блок 3\nблок 4\nблок 5\nблок 6\nблок 7\nблок 8\n");
}
