// The command line's contract (output and exit codes), and the program's roads end to end:
// recording, a killed recorder and its recovery, import and split.
#include "core/Manifest.h"
#include "core/ProjectStore.h"
#include "core/SampleScenario.h"
#include "support/SoundServer.h"
#include "support/TestSupport.h"
#include "support/Workbook.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

const QString microphone = QLatin1StringView(SoundServer::microphoneID);

/// A project from the sample scenario, and a command line with a home, settings and data folder
/// of the test's own, pointed at a private sound server or, for `lonely`, at none.
class CliTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_server = SoundServer::start(&s_whyNot).release(); }
    static void TearDownTestSuite() { delete std::exchange(s_server, nullptr); }

    QTemporaryDir m_dir;
    ProjectStore m_store = ProjectStore::create(m_dir.filePath(u"data/Projects"_s), sampleScenario(), u"Scenario"_s);

    QProcessEnvironment environment(bool lonely = false, const SoundServer *server = s_server) const
    {
        QProcessEnvironment environment = server && !lonely ? server->clientEnvironment()
                                                            : QProcessEnvironment::systemEnvironment();
        if (!server || lonely)
            environment.insert(u"PULSE_SERVER"_s, SoundServer::missingServerAddress(m_dir));
        environment.insert(u"HOME"_s, m_dir.filePath(u"home"_s));
        environment.insert(u"XDG_CONFIG_HOME"_s, m_dir.filePath(u"home/.config"_s));
        environment.insert(u"XDG_DATA_HOME"_s, m_dir.filePath(u"home/.local/share"_s));
        environment.insert(u"TARNWICK_DATA_DIR"_s, m_dir.filePath(u"data"_s));
        return environment;
    }
    ProgramResult cli(const QStringList &arguments, bool lonely = false) const
    {
        return runProgram(QStringLiteral(TARNWICK_CLI_PATH), arguments, environment(lonely));
    }
    std::unique_ptr<QProcess> record(const QString &block, const QString &seconds) const
    {
        return startProgram(QStringLiteral(TARNWICK_CLI_PATH),
                            {u"record"_s, m_store.root(), u"--block"_s, block, u"--seconds"_s, seconds,
                             u"--device"_s, microphone},
                            environment());
    }
    QString file(const QString &name, const QByteArray &bytes) const
    {
        writeBytes(m_dir.filePath(name), bytes);
        return m_dir.filePath(name);
    }
    QList<Take> manifest() const { return decodeManifest(readBytes(m_store.manifestFile()), {}).takes; }

    static inline SoundServer *s_server = nullptr;
    static inline QString s_whyNot;
};

#define REQUIRE_SOUND_SERVER() ASSERT_NE(s_server, nullptr) << "no private sound server: " << s_whyNot.toStdString()

} // namespace

TEST_F(CliTest, EachCommandGivesItsOutputAndExitCode)
{
    const QString root = m_store.root();
    const QString missing = m_dir.filePath(u"missing.json"_s);
    const QString usage = u"Использование:"_s;
    const ProjectStore unheard = ProjectStore::create(m_dir.filePath(u"p"_s), {sampleBlock(u"b"_s)}, u"p"_s);
    unheard.saveManifest({sampleTake(u"b"_s)}); // its sound file is gone
    const struct
    {
        QStringList arguments;
        int exitCode;
        QString out;
        QString err; // for exit code 2, how it starts
    } cases[] = {
        {{u"validate"_s, QStringLiteral(TARNWICK_SOURCE_DIR) + u"/resources/scenario.json"_s}, 0,
         u"Блоков: 12\nРеплик: 15\n"_s, {}},
        {{u"validate"_s, file(u"data.XLSX"_s, workbook({{{}, {}, {}, u"RU"_s, u"EN"_s}, {u"1"_s, {}, {}, u"Раз"_s}}))},
         0, u"Блоков: 1\nРеплик: 1\n"_s, {}},
        {{u"validate"_s, missing}, 1, {},
         u"Ошибка: Не удалось прочитать файл «"_s + missing + u"»: нет такого файла или папки\n"_s},
        {{u"validate"_s, file(u"empty.json"_s, "[]")}, 1, {}, u"Ошибка: Сценарий пуст\n"_s},
        {{u"check"_s, root}, 0, u"Проект открыт\nДублей: 0\n"_s, {}},
        {{u"check"_s, unheard.root()}, 0,
         u"Не найдены аудиофайлы: 1. Восстановите их из резервной копии\nДублей: 1\n"_s, {}},
        {{u"check"_s, m_dir.filePath(u"nowhere"_s)}, 1, {}, u"Ошибка: Нет доступа к папке проекта\n"_s},
        {{u"record"_s, root, u"--block"_s, u"999"_s}, 1, {}, u"Ошибка: В сценарии нет блока с номером «999»\n"_s},
        {{u"import"_s, m_dir.filePath(u"empty.json"_s), u"--data-dir"_s, m_dir.filePath(u"other"_s)}, 1, {},
         u"Ошибка: Сценарий пуст\n"_s},
        {{u"export"_s, root, m_dir.filePath(u"out"_s), u"--partial"_s, u"--gain"_s, u"programme"_s}, 0,
         u"Экспортировано файлов: 0, длительность 0:00:00; без выбранного дубля: 15 (см. missing.txt)\n"_s, {}},
        {{}, 2, {}, usage},
        {{u"export"_s, root, m_dir.filePath(u"out"_s), u"--preset"_s, u"loud"_s}, 2, {}, usage},
        {{u"frobnicate"_s, u"x"_s}, 2, {}, usage},
        {{u"record"_s, root}, 2, {}, usage},
        {{u"record"_s, root, u"--block"_s, u"1"_s, u"--seconds"_s, u"0"_s}, 2, {}, usage},
        {{u"import"_s, missing, u"--data-dir"_s}, 2, {}, usage},
        {{u"split"_s, root, u"--yes"_s}, 2, {}, usage},
        {{u"takes"_s, root, u"--block"_s, u"999"_s}, 1, {}, u"Ошибка: В сценарии нет блока с номером «999»\n"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const ProgramResult run = cli(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.out, c.out);
        EXPECT_TRUE(c.exitCode == 2 ? run.err.startsWith(c.err) : run.err == c.err) << run.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(u"other"_s))); // a failed import makes nothing
    EXPECT_EQ(cli({u"--help"_s}).exitCode, 0);
}

TEST_F(CliTest, RecordedSpeechBecomesTheBlocksChosenTake)
{
    REQUIRE_SOUND_SERVER();
    const QString speech = s_server->speech(u"Каждый день Солнце посылает на Землю энергию"_s);
    ASSERT_FALSE(speech.isEmpty());
    const std::unique_ptr<QProcess> recorder = record(u"2"_s, u"3"_s);
    // Speech starts once the take does: the pending record comes first.
    ASSERT_TRUE(waitFor([&] { return QFile::exists(m_store.pendingFile()); }, 20000));
    const std::unique_ptr<QProcess> speaker = s_server->playIntoMicrophone(speech);
    const ProgramResult run = finish(*recorder);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QList<Take> takes = manifest();
    ASSERT_EQ(takes.size(), 1);
    EXPECT_TRUE(takes[0].selected);
    EXPECT_EQ(run.out, u"Дубль сохранён\n"_s + m_store.audioURL(takes[0]) + u'\n');
    const Wav wav = readWav(m_store.audioURL(takes[0]));
    EXPECT_TRUE(wav.is24BitMono48k);
    EXPECT_EQ(wav.seconds, 3.0); // 144,000 frames exactly
    EXPECT_GT(wav.peak, 0.05) << "speech did not reach the take";
    EXPECT_TRUE(cli({u"status"_s, m_store.root()}).out.contains(u"\n2\tУтверждено\n"_s));
}

TEST_F(CliTest, TakesListsFiguresAndFlagsOfEveryTake)
{
    Take clipped = sampleTake(u"b01"_s), lost = sampleTake(u"b01"_s);
    clipped.selected = true;
    lost.createdAt = clipped.createdAt.addSecs(1);
    m_store.saveManifest({clipped, lost}); // only the first has a sound file
    const QStringList fullScale{u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, u"aevalsrc=1:s=48000:d=1"_s,
                                u"-c:a"_s, u"pcm_s24le"_s, m_store.audioURL(clipped)}; // a second at the ceiling
    ASSERT_EQ(runProgram(u"ffmpeg"_s, fullScale).exitCode, 0);

    const ProgramResult text = cli({u"takes"_s, m_store.root(), u"--block"_s, u"1"_s});
    EXPECT_TRUE(text.out.startsWith(u"1\tb01\t1\t*\t1.00\t"_s)) << text.out.toStdString();
    EXPECT_TRUE(text.out.endsWith(u"\tclipping,loud,noisy,silent\n1\tb01\t2\t-\t-\t-\t-\t-\n"_s));
    const ProgramResult run = cli({u"takes"_s, m_store.root(), u"--json"_s});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonArray takes = QJsonDocument::fromJson(run.out.toUtf8()).array();
    EXPECT_EQ(takes[0].toObject().keys(),
              QStringList({u"blockNumber"_s, u"chosen"_s, u"clippedSamples"_s, u"durationSeconds"_s, u"fileName"_s,
                           u"flags"_s, u"id"_s, u"integratedLUFS"_s, u"loudnessRangeLU"_s, u"noiseFloorDBFS"_s,
                           u"recordingID"_s, u"samplePeakDBFS"_s, u"speechEndSeconds"_s, u"speechStartSeconds"_s,
                           u"take"_s, u"truePeakDBTP"_s}));
    EXPECT_EQ(takes[0][u"clippedSamples"_s].toInt(), 48000);
    EXPECT_TRUE(takes[1][u"integratedLUFS"_s].isNull());
}

// A microphone that sent nothing used to leave an empty take, saved and chosen. On PipeWire a
// stream on it never starts at all.
TEST_F(CliTest, TakeOfAMicrophoneThatSendsNothingIsNotSaved)
{
    const std::pair<SoundServer::Flavour, QString> cases[] = {
        {SoundServer::Flavour::PulseAudio, u"Микрофон не передал звук. Отмените этот дубль и проверьте микрофон"_s},
        {SoundServer::Flavour::PipeWire, u"Микрофон не начал запись"_s}};
    for (const auto &[flavour, error] : cases) {
        SCOPED_TRACE(error.toStdString());
        const std::unique_ptr<SoundServer> server = SoundServer::start(flavour, &s_whyNot);
        ASSERT_NE(server, nullptr) << s_whyNot.toStdString();
        const ProjectStore store = ProjectStore::create(m_dir.filePath(error), sampleScenario(), u"Silent"_s);
        const ProgramResult run = runProgram(QStringLiteral(TARNWICK_CLI_PATH),
                                             {u"record"_s, store.root(), u"--block"_s, u"1"_s, u"--seconds"_s, u"1"_s,
                                              u"--device"_s, QLatin1StringView(SoundServer::silentMicrophoneID)},
                                             environment(false, server.get()));
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, u"Ошибка: "_s + error + u'\n');
        EXPECT_TRUE(decodeManifest(readBytes(store.manifestFile()), {}).takes.isEmpty());
    }
}

TEST_F(CliTest, InterruptedExportIsCancelledAndLeavesNoUnfinishedFile)
{
    QList<ScriptBlock> blocks;
    QList<Take> takes;
    for (int n = 1; n <= 30; ++n) { // ten minutes of takes: long enough to interrupt
        blocks.append(sampleBlock(u"b"_s + QString::number(n), QString::number(n)));
        takes.append(sampleTake(blocks.last().id));
        takes.last().selected = true;
    }
    const ProjectStore store = ProjectStore::create(m_dir.filePath(u"long"_s), blocks, u"Long"_s);
    store.saveManifest(takes);
    for (const Take &take : std::as_const(takes))
        writeSilence(store.audioURL(take), 20);
    const QString out = m_dir.filePath(u"out"_s);
    const std::unique_ptr<QProcess> exporter =
        startProgram(QStringLiteral(TARNWICK_CLI_PATH), {u"export"_s, store.root(), out}, environment(true));
    ASSERT_TRUE(waitFor([&] { return !entries(out).filter(u".part"_s).isEmpty(); }, 20000));
    ::kill(static_cast<pid_t>(exporter->processId()), SIGINT);
    const ProgramResult run = finish(*exporter);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, u"Ошибка: Экспорт отменён: прежний экспорт в папке не тронут\n"_s);
    EXPECT_EQ(entries(out), QStringList());
}

TEST_F(CliTest, TakeOfAKilledRecorderIsCommittedByTheNextCheck)
{
    REQUIRE_SOUND_SERVER();
    const std::unique_ptr<QProcess> recorder = record(u"1"_s, u"30"_s);
    ASSERT_TRUE(waitFor([&] { return QFile::exists(m_store.pendingFile()); }, 20000));
    const Take pending = decodeTake(readBytes(m_store.pendingFile()), {});
    const QString wavPath = m_store.audioURL(pending);
    // 48,000 frames of 3 bytes: at least a second of sound is on disk.
    ASSERT_TRUE(waitFor([&] { return QFileInfo(wavPath).size() > 150000; }, 20000));
    ::kill(static_cast<pid_t>(recorder->processId()), SIGKILL);
    recorder->waitForFinished(10000);
    EXPECT_EQ(cli({u"check"_s, m_store.root()}).out, u"Проект открыт\nДублей: 1\n"_s);
    EXPECT_EQ(manifest(), QList<Take>{pending});
    const Wav wav = readWav(wavPath);
    EXPECT_TRUE(wav.is24BitMono48k);
    EXPECT_GE(wav.seconds, 1.0);
}

TEST_F(CliTest, ImportedWorkbookIsAProjectThatStatusLists)
{
    const QString book = file(u"Урок 2.xlsx"_s, workbook({{{}, {}, {}, u"Текст RU"_s, u"Текст EN"_s},
                                                         {u"1"_s, {}, {}, u"Привет."_s, u"Hello."_s},
                                                         {u"2"_s, u"Экран"_s, {}, u"Пока."_s, u"Bye."_s}}));
    const ProgramResult imported = cli({u"import"_s, book, u"--data-dir"_s, m_dir.filePath(u"elsewhere"_s)});
    ASSERT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    const QString project = imported.out.trimmed();
    EXPECT_EQ(QFileInfo(project).path(), m_dir.filePath(u"elsewhere/Projects"_s));
    EXPECT_TRUE(QFileInfo(project).fileName().startsWith(u"Урок 2-"_s));
    EXPECT_EQ(cli({u"status"_s, project}).out, u"1\tНе записано\n2\tНе записано\n0 из 2 блоков озвучено\n"_s);
}

TEST_F(CliTest, SplitAsksForYesBeforeTakesGoToTheTrash)
{
    const ScriptBlock block = m_store.load().blocks.constFirst(); // two sentences in each language
    const Take take = sampleTake(block.id);
    writeBytes(m_store.audioURL(take), "RIFF");
    m_store.saveManifest({take});
    const ProgramResult refused = cli({u"split"_s, m_store.root(), u"--block"_s, block.number});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, u"Ошибка: У блока "_s + block.number
                               + u" есть дубли: 1. Чтобы переместить их в Корзину и разбить блок, добавьте --yes\n"_s);
    EXPECT_EQ(manifest(), QList<Take>{take});
    const ProgramResult split = cli({u"split"_s, m_store.root(), u"--block"_s, block.number, u"--yes"_s});
    ASSERT_EQ(split.exitCode, 0) << split.err.toStdString();
    EXPECT_EQ(split.out, u"Блок "_s + block.number + u" разбит на реплики: 2\n"_s + block.id + u"-1\n"_s + block.id
                             + u"-2\n"_s);
    EXPECT_TRUE(manifest().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(m_dir.filePath(u"home/.local/share/Trash/files/"_s) + take.fileName));
}
