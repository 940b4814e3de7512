// `status` and `record` end to end: the real audio backend against a private sound server.

#include "core/Manifest.h"
#include "core/ProjectLease.h"
#include "core/ProjectStore.h"
#include "core/SampleScenario.h"
#include "support/SoundServer.h"
#include "support/TestSupport.h"
#include "support/WavFile.h"
#include "support/Workbook.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

const QString microphone = QLatin1StringView(SoundServer::microphoneID);

struct Outcome
{
    int exitCode = -1;
    QString out;
    QString err;
};

/// A project from the sample scenario and a command line pointed at a home, settings and data
/// folder of the test's own, and at the private sound server when there is one.
class CliStudioTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_server = SoundServer::start(&s_whyNot).release(); }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }

    QTemporaryDir m_dir;
    ProjectStore m_store = ProjectStore::create(m_dir.filePath(u"data/Projects"_s), sampleScenario(), u"Scenario"_s);

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = s_server ? s_server->clientEnvironment()
                                                   : QProcessEnvironment::systemEnvironment();
        if (!s_server)
            environment.insert(u"PULSE_SERVER"_s, SoundServer::missingServerAddress(m_dir));
        environment.insert(u"HOME"_s, m_dir.filePath(u"home"_s));
        environment.insert(u"XDG_CONFIG_HOME"_s, m_dir.filePath(u"home/.config"_s));
        environment.insert(u"XDG_DATA_HOME"_s, m_dir.filePath(u"home/.local/share"_s));
        environment.insert(u"TARNWICK_DATA_DIR"_s, m_dir.filePath(u"data"_s));
        return environment;
    }

    std::unique_ptr<QProcess> start(const QStringList &arguments) const
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment());
        process->start(QStringLiteral(TARNWICK_CLI_PATH), arguments);
        return process;
    }

    Outcome run(const QStringList &arguments) const
    {
        const std::unique_ptr<QProcess> process = start(arguments);
        process->waitForFinished(60000);
        return finished(*process);
    }

    static Outcome finished(QProcess &process)
    {
        return Outcome{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                       QString::fromUtf8(process.readAllStandardOutput()),
                       QString::fromUtf8(process.readAllStandardError())};
    }

    static bool waitUntil(const std::function<bool()> &done, int milliseconds)
    {
        const QDeadlineTimer deadline(milliseconds);
        while (!done()) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(20);
        }
        return true;
    }

    QList<Take> manifest() const { return decodeManifest(readBytes(m_store.manifestFile()), {}).takes; }

    static inline SoundServer *s_server = nullptr;
    static inline QString s_whyNot;
};

#define REQUIRE_SOUND_SERVER()                                                                                 \
    ASSERT_NE(s_server, nullptr) << "no private sound server: " << s_whyNot.toStdString()

} // namespace

// --- status ----------------------------------------------------------------------------

TEST_F(CliStudioTest, StatusListsEveryBlockAndCountsTheDoneOnes)
{
    const QList<ScriptBlock> blocks = m_store.load().blocks;
    Take chosen = sampleTake(blocks.at(0).id);
    chosen.selected = true;
    const Take unchosen = sampleTake(blocks.at(1).id);
    writeBytes(m_store.audioURL(chosen), "RIFF");
    m_store.saveManifest({chosen, unchosen});

    const Outcome outcome = run({u"status"_s, m_store.root()});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    const QStringList lines = outcome.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), blocks.size() + 1);
    EXPECT_EQ(lines.at(0), blocks.at(0).number + u"\tУтверждено"_s);
    EXPECT_EQ(lines.at(1), blocks.at(1).number + u"\tЕсть дубли"_s);
    qsizetype done = 1;
    for (qsizetype i = 2; i < blocks.size(); ++i) {
        const ScriptBlock &block = blocks.at(i);
        const QString expected = block.voiceStatus && !block.voiceStatus->isEmpty() ? *block.voiceStatus
                                                                                     : u"Не записано"_s;
        EXPECT_EQ(lines.at(i), block.number + u'\t' + expected);
        done += expected == u"Озвучено" ? 1 : 0;
    }
    EXPECT_EQ(lines.constLast(), QString::number(done) + u" из "_s + QString::number(blocks.size())
                                     + u" блоков озвучено"_s);
}

TEST_F(CliStudioTest, StatusAndRecordRefuseALockedProject)
{
    const ProjectLease lease(m_store.root());
    for (const QStringList &arguments :
         {QStringList{u"status"_s, m_store.root()}, QStringList{u"record"_s, m_store.root(), u"--block"_s, u"1"_s}}) {
        const Outcome outcome = run(arguments);
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.err, u"Ошибка: Этот проект уже открыт в другом окне или экземпляре приложения\n"_s);
    }
}

// --- record: usage and refusals ----------------------------------------------------------

TEST_F(CliStudioTest, RecordUsageErrorsExitTwo)
{
    for (const QStringList &arguments :
         {QStringList{u"record"_s, m_store.root()}, QStringList{u"record"_s, m_store.root(), u"--block"_s},
          QStringList{u"record"_s, m_store.root(), u"--block"_s, u"1"_s, u"--seconds"_s, u"0"_s},
          QStringList{u"record"_s, m_store.root(), u"--block"_s, u"1"_s, u"--seconds"_s, u"много"_s},
          QStringList{u"record"_s, m_store.root(), u"--block"_s, u"1"_s, u"--loud"_s, u"yes"_s}}) {
        SCOPED_TRACE(arguments.join(u' ').toStdString());
        const Outcome outcome = run(arguments);
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_TRUE(outcome.err.startsWith(u"Использование:"_s));
    }
}

TEST_F(CliStudioTest, RecordOfAMissingBlockIsAClearError)
{
    const Outcome outcome = run({u"record"_s, m_store.root(), u"--block"_s, u"999"_s});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, u"Ошибка: В сценарии нет блока с номером «999»\n"_s);
    EXPECT_FALSE(QFile::exists(m_store.pendingFile()));
}

TEST_F(CliStudioTest, RecordWithoutASoundServerFailsAndLeavesTheTakePending)
{
    QProcessEnvironment lonely = environment();
    lonely.insert(u"PULSE_SERVER"_s, SoundServer::missingServerAddress(m_dir));
    QProcess process;
    process.setProcessEnvironment(lonely);
    process.start(QStringLiteral(TARNWICK_CLI_PATH), {u"record"_s, m_store.root(), u"--block"_s, u"1"_s});
    ASSERT_TRUE(process.waitForFinished(60000));
    const Outcome outcome = finished(process);
    EXPECT_EQ(outcome.exitCode, 1);
    // One line, ours: the sound library's own complaints stay out of the contract.
    EXPECT_TRUE(outcome.err.startsWith(u"Ошибка: "_s)) << outcome.err.toStdString();
    EXPECT_EQ(outcome.err.count(u'\n'), 1) << outcome.err.toStdString();
    EXPECT_EQ(outcome.out, u""_s);
    // The take was announced but has no sound: the next opening drops it.
    EXPECT_EQ(run({u"check"_s, m_store.root()}).out, u"Проект открыт\nДублей: 0\n"_s);
    EXPECT_FALSE(QFile::exists(m_store.pendingFile()));
}

// --- record: real sound -----------------------------------------------------------------

TEST_F(CliStudioTest, DevicesListsTheInputsByID)
{
    REQUIRE_SOUND_SERVER();
    const Outcome outcome = run({u"devices"_s});
    EXPECT_EQ(outcome.exitCode, 0);
    const QStringList lines = outcome.out.split(u'\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(std::any_of(lines.cbegin(), lines.cend(), [](const QString &line) {
        return line.startsWith(microphone + u'\t') && line.size() > microphone.size() + 1;
    })) << outcome.out.toStdString();
}

TEST_F(CliStudioTest, RecordedSpeechBecomesTheBlocksChosenTake)
{
    REQUIRE_SOUND_SERVER();
    const QString speech = s_server->speech(u"Каждый день Солнце посылает на Землю энергию"_s);
    ASSERT_FALSE(speech.isEmpty());
    const std::unique_ptr<QProcess> recorder =
        start({u"record"_s, m_store.root(), u"--block"_s, u"2"_s, u"--seconds"_s, u"3"_s, u"--device"_s, microphone});
    // Speech starts once the take does: the pending record comes first.
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(m_store.pendingFile()); }, 20000));
    const std::unique_ptr<QProcess> speaker = s_server->playIntoMicrophone(speech);
    ASSERT_TRUE(recorder->waitForFinished(60000));
    speaker->kill();
    speaker->waitForFinished(5000);
    const Outcome outcome = finished(*recorder);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();

    const QList<Take> takes = manifest();
    ASSERT_EQ(takes.size(), 1);
    EXPECT_TRUE(takes[0].selected);
    EXPECT_EQ(outcome.out, u"Дубль сохранён\n"_s + m_store.audioURL(takes[0]) + u'\n');
    const Wav wav = readWav(m_store.audioURL(takes[0]));
    EXPECT_TRUE(wav.is24BitMono48k());
    EXPECT_NEAR(wav.seconds(), 3.0, 0.3);
    EXPECT_GT(wav.peak(0.0, wav.seconds()), 0.05) << "speech did not reach the take";
    EXPECT_FALSE(QFile::exists(m_store.pendingFile()));

    const Outcome status = run({u"status"_s, m_store.root()});
    EXPECT_TRUE(status.out.contains(u"\n2\tУтверждено\n"_s)) << status.out.toStdString();
}

TEST_F(CliStudioTest, TakeOfAKilledRecorderIsCommittedByTheNextCheck)
{
    REQUIRE_SOUND_SERVER();
    const std::unique_ptr<QProcess> recorder =
        start({u"record"_s, m_store.root(), u"--block"_s, u"1"_s, u"--seconds"_s, u"30"_s, u"--device"_s, microphone});
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(m_store.pendingFile()); }, 20000));
    const Take pending = decodeTake(readBytes(m_store.pendingFile()), {});
    const QString wavPath = m_store.audioURL(pending);
    // 48,000 frames of 3 bytes: at least a second of sound is on disk.
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(wavPath).size() > 150000; }, 20000));
    ::kill(static_cast<pid_t>(recorder->processId()), SIGKILL);
    recorder->waitForFinished(10000);

    const Outcome check = run({u"check"_s, m_store.root()});
    EXPECT_EQ(check.out, u"Проект открыт\nДублей: 1\n"_s) << check.err.toStdString();
    EXPECT_EQ(manifest(), QList<Take>{pending});
    const Wav wav = readWav(wavPath);
    EXPECT_TRUE(wav.is24BitMono48k());
    EXPECT_GE(wav.seconds(), 1.0);
    EXPECT_TRUE(run({u"status"_s, m_store.root()}).out.startsWith(u"1\tУтверждено\n"_s));
}

TEST_F(CliStudioTest, TerminatingTheRecorderSavesTheTakeLikeQuitting)
{
    REQUIRE_SOUND_SERVER();
    const std::unique_ptr<QProcess> recorder =
        start({u"record"_s, m_store.root(), u"--block"_s, u"1"_s, u"--seconds"_s, u"30"_s, u"--device"_s, microphone});
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(m_store.pendingFile()); }, 20000));
    QThread::msleep(1000);
    ::kill(static_cast<pid_t>(recorder->processId()), SIGTERM);
    ASSERT_TRUE(recorder->waitForFinished(20000));
    const Outcome outcome = finished(*recorder);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_TRUE(outcome.out.startsWith(u"Дубль сохранён\n"_s));
    EXPECT_EQ(manifest().size(), 1);
    EXPECT_FALSE(QFile::exists(m_store.pendingFile()));
}

// --- import and split ------------------------------------------------------------------

TEST_F(CliStudioTest, ImportedWorkbookIsAProjectThatStatusLists)
{
    const QString book = m_dir.filePath(u"Урок 2.xlsx"_s);
    writeBytes(book, workbook({{u"№"_s, u"Экран RU"_s, u"Экран EN"_s, u"Текст RU"_s, u"Текст EN"_s},
                               {u"1"_s, {}, {}, u"Привет."_s, u"Hello."_s},
                               {u"2"_s, u"Экран"_s, {}, u"Пока."_s, u"Bye."_s}}));
    const QString dataFolder = m_dir.filePath(u"elsewhere"_s);
    const Outcome imported = run({u"import"_s, book, u"--data-dir"_s, dataFolder});
    ASSERT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    const QString project = imported.out.trimmed();
    EXPECT_EQ(imported.out, project + u'\n');
    EXPECT_EQ(QFileInfo(project).path(), dataFolder + u"/Projects"_s);
    EXPECT_TRUE(QFileInfo(project).fileName().startsWith(u"Урок 2-"_s));

    const Outcome status = run({u"status"_s, project});
    EXPECT_EQ(status.out, u"1\tНе записано\n2\tНе записано\n0 из 2 блоков озвучено\n"_s) << status.err.toStdString();
}

TEST_F(CliStudioTest, FailedImportCreatesNothing)
{
    writeBytes(m_dir.filePath(u"empty.json"_s), "[]");
    const QString dataFolder = m_dir.filePath(u"elsewhere"_s);
    const Outcome outcome = run({u"import"_s, m_dir.filePath(u"empty.json"_s), u"--data-dir"_s, dataFolder});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, u"Ошибка: Сценарий пуст\n"_s);
    EXPECT_EQ(outcome.out, u""_s);
    EXPECT_FALSE(QFileInfo::exists(dataFolder + u"/Projects"_s));
    EXPECT_EQ(run({u"import"_s, m_dir.filePath(u"x.json"_s), u"--data-dir"_s}).exitCode, 2);
}

TEST_F(CliStudioTest, SplitAsksForYesBeforeTakesGoToTheTrash)
{
    const ScriptBlock block = m_store.load().blocks.constFirst(); // two sentences in each language
    const Take take = sampleTake(block.id);
    writeBytes(m_store.audioURL(take), "RIFF");
    m_store.saveManifest({take});

    const Outcome refused = run({u"split"_s, m_store.root(), u"--block"_s, block.number});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, u"Ошибка: У блока "_s + block.number
                               + u" есть дубли: 1. Чтобы переместить их в Корзину и разбить блок, добавьте --yes\n"_s);
    EXPECT_EQ(manifest(), QList<Take>{take});

    const Outcome split = run({u"split"_s, m_store.root(), u"--block"_s, block.number, u"--yes"_s});
    ASSERT_EQ(split.exitCode, 0) << split.err.toStdString();
    EXPECT_EQ(split.out, u"Блок "_s + block.number + u" разбит на реплики: 2\n"_s + block.id + u"-1\n"_s + block.id
                             + u"-2\n"_s);
    EXPECT_TRUE(manifest().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(m_dir.filePath(u"home/.local/share/Trash/files/"_s) + take.fileName));

    const Outcome again = run({u"split"_s, m_store.root(), u"--block"_s, u"999"_s});
    EXPECT_EQ(again.err, u"Ошибка: В сценарии нет блока с номером «999»\n"_s);
    EXPECT_EQ(run({u"split"_s, m_store.root(), u"--yes"_s}).exitCode, 2);
}

// --- record: the machine fails under the take ------------------------------------------------

TEST_F(CliStudioTest, ServerDyingMidTakeSavesWhatWasCapturedWithoutAHang)
{
    QString whyNot;
    const std::unique_ptr<SoundServer> doomed = SoundServer::start(&whyNot);
    ASSERT_NE(doomed, nullptr) << whyNot.toStdString();
    QProcessEnvironment environment = this->environment();
    environment.insert(u"PULSE_SERVER"_s, doomed->address());
    QProcess recorder;
    recorder.setProcessEnvironment(environment);
    recorder.start(QStringLiteral(TARNWICK_CLI_PATH),
                   {u"record"_s, m_store.root(), u"--block"_s, u"1"_s, u"--seconds"_s, u"30"_s, u"--device"_s,
                    microphone});
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(m_store.pendingFile()); }, 20000));
    const Take pending = decodeTake(readBytes(m_store.pendingFile()), {});
    const QString wavPath = m_store.audioURL(pending);
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(wavPath).size() > 100000; }, 20000));

    doomed->stop();

    ASSERT_TRUE(recorder.waitForFinished(20000)) << "the recorder hung when the server went away";
    const Outcome outcome = finished(recorder);
    // The take is saved, and the speaker is told to listen to it: the status line as the window shows it.
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    const QString line = u"Устройство прервало запись; проверьте сохранённый звук. Дубль сохранён"_s;
    EXPECT_EQ(outcome.out, line + u'\n' + wavPath + u'\n');
    EXPECT_EQ(manifest(), QList<Take>{pending});
    EXPECT_FALSE(QFile::exists(m_store.pendingFile()));
    const Wav wav = readWav(wavPath);
    EXPECT_TRUE(wav.is24BitMono48k());
    EXPECT_GE(wav.seconds(), 0.5);
}

TEST_F(CliStudioTest, FullDiskMidTakeKeepsTheTakePendingUntilThereIsRoom)
{
    REQUIRE_SOUND_SERVER();
    auto disk = ScratchMount::tmpfs(2 * 1024 * 1024);
    REQUIRE_MOUNT(disk);
    const ProjectStore store = ProjectStore::create(disk->path(), sampleScenario(), u"p"_s);
    const QByteArray manifestBefore = readBytes(store.manifestFile());
    // About 400 KB free: under three seconds of sound.
    writeBytes(disk->path() + u"/filler"_s, QByteArray(1600 * 1024, 'x'));

    const std::unique_ptr<QProcess> recorder =
        start({u"record"_s, store.root(), u"--block"_s, u"1"_s, u"--seconds"_s, u"30"_s, u"--device"_s,
               microphone});
    ASSERT_TRUE(recorder->waitForFinished(30000)) << "the recorder hung on a full disk";
    const Outcome outcome = finished(*recorder);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, u"Ошибка: Не удалось записать звук в файл: на диске нет места. "_s
                               + u"Ошибка: Не удалось записать файл «"_s + store.manifestFile()
                               + u"»: на диске нет места\n"_s);
    EXPECT_EQ(readBytes(store.manifestFile()), manifestBefore);
    ASSERT_TRUE(QFile::exists(store.pendingFile()));
    const Take pending = decodeTake(readBytes(store.pendingFile()), {});

    // Room again: the next opening commits the take with the sound that reached the disk.
    ASSERT_TRUE(QFile::remove(disk->path() + u"/filler"_s));
    const Outcome check = run({u"check"_s, store.root()});
    EXPECT_EQ(check.out, u"Проект открыт\nДублей: 1\n"_s) << check.err.toStdString();
    EXPECT_EQ(decodeManifest(readBytes(store.manifestFile()), {}).takes, QList<Take>{pending});
    const Wav wav = readWav(store.audioURL(pending));
    EXPECT_TRUE(wav.is24BitMono48k());
    EXPECT_GE(wav.seconds(), 1.0);
}

// --- the lease -----------------------------------------------------------------------------------

TEST_F(CliStudioTest, TwentyProcessesAtOnceEitherWorkOrSayTheProjectIsOpen)
{
    REQUIRE_SOUND_SERVER();
    const QString refused = u"Ошибка: Этот проект уже открыт в другом окне или экземпляре приложения\n"_s;
    std::vector<std::unique_ptr<QProcess>> processes;
    const QStringList checking{u"check"_s, m_store.root()};
    const QStringList recording{u"record"_s, m_store.root(), u"--block"_s, u"1"_s,
                                u"--seconds"_s, u"0.3"_s, u"--device"_s, microphone};
    for (int i = 0; i < 20; ++i)
        processes.push_back(start(i % 2 == 0 ? checking : recording));
    int worked = 0;
    qsizetype recorded = 0;
    for (std::size_t i = 0; i < processes.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(processes[i]->waitForFinished(60000)) << "a process hung";
        const Outcome outcome = finished(*processes[i]);
        if (outcome.exitCode == 0) {
            ++worked;
            recorded += i % 2;
            EXPECT_TRUE(outcome.out.startsWith(i % 2 ? u"Дубль сохранён\n"_s : u"Проект открыт\n"_s))
                << outcome.out.toStdString();
        } else {
            EXPECT_EQ(outcome.exitCode, 1);
            EXPECT_EQ(outcome.err, refused);
        }
    }
    EXPECT_GE(worked, 1);

    const Outcome check = run({u"check"_s, m_store.root()});
    EXPECT_EQ(check.out, u"Проект открыт\nДублей: "_s + QString::number(recorded) + u'\n')
        << check.err.toStdString();
    const QList<Take> takes = manifest();
    EXPECT_EQ(takes.size(), recorded);
    for (const Take &take : takes)
        EXPECT_TRUE(readWav(m_store.audioURL(take)).is24BitMono48k());
    EXPECT_FALSE(QFile::exists(m_store.pendingFile()));
}
