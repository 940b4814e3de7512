#include "core/ProjectStore.h"

#include "core/Manifest.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

class ProjectStoreTest : public ::testing::Test
{
protected:
    QTemporaryDir m_dir;
    QList<ScriptBlock> m_blocks{sampleBlock(u"b1"_s, u"1"_s), sampleBlock(u"b2"_s, u"2"_s)};

    ProjectStore makeProject() { return ProjectStore::create(m_dir.path(), m_blocks, u"Урок 1"_s); }
};

const QString uuidTail = u"-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"_s;

} // namespace

// --- creating a project -------------------------------------------------------------

TEST_F(ProjectStoreTest, FolderNameKeepsLettersAndNumbersAndEndsInAnUpperCaseUUID)
{
    const struct
    {
        QString name;
        QString expectedStart;
    } cases[] = {
        {u"a/b:c"_s, u"a_b_c"_s},
        {u"Урок 3 — ٣ 𝟙 _x-y"_s, u"Урок 3 _ ٣ 𝟙 _x-y"_s},
        {u"😀!"_s, u"__"_s}, // one "_" per code point, not per UTF-16 unit
        {u""_s, u""_s},
        {QString(70, u'ж'), QString(60, u'ж')},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const QString folder =
            QFileInfo(ProjectStore::create(m_dir.path(), m_blocks, c.name).root()).fileName();
        EXPECT_TRUE(folder.startsWith(c.expectedStart + u'-')) << folder.toStdString();
        EXPECT_EQ(folder.size(), c.expectedStart.size() + 37);
        EXPECT_TRUE(QRegularExpression(uuidTail).match(folder).hasMatch());
    }
}

TEST_F(ProjectStoreTest, CreateWritesScenarioEmptyManifestAndEmptyRecordings)
{
    const ProjectStore store = makeProject();
    EXPECT_EQ(entries(store.root()), (QStringList{u"Recordings"_s, u"manifest.json"_s, u"scenario.json"_s}));
    EXPECT_TRUE(entries(store.recordingsFolder()).isEmpty());
    EXPECT_EQ(QJsonDocument::fromJson(readBytes(store.manifestFile())).object(),
              QJsonObject({{u"takes"_s, QJsonArray()}}));
    const ProjectContents contents = store.load();
    EXPECT_EQ(contents.blocks, m_blocks);
    EXPECT_TRUE(contents.takes.isEmpty());
}

TEST_F(ProjectStoreTest, CreateThatCannotWriteRemovesTheFolderItMade)
{
    auto disk = ScratchMount::tmpfs(64 * 1024);
    REQUIRE_MOUNT(disk);
    disk->fill();
    const std::optional<QString> error = errorOf([&] { ProjectStore::create(disk->path(), m_blocks, u"x"_s); });
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(error->startsWith(u"Не удалось записать файл «"_s + disk->path() + u"/x-"_s)) << error->toStdString();
    EXPECT_TRUE(error->endsWith(u"/scenario.json»: на диске нет места"_s)) << error->toStdString();
    EXPECT_EQ(entries(disk->path()), QStringList{u"filler"_s});
}

// --- loading ------------------------------------------------------------------------

TEST_F(ProjectStoreTest, LoadKeepsManifestOrderAndToleratesMissingAudio)
{
    const ProjectStore store = makeProject();
    const QList<Take> takes{sampleTake(u"b2"_s), sampleTake(u"b1"_s), sampleTake(u"b1"_s)};
    writeBytes(store.audioURL(takes[1]), "RIFF");
    store.saveManifest(takes);
    EXPECT_EQ(store.load().takes, takes);
    EXPECT_EQ(store.missingAudioCount(takes), 2);
}

TEST_F(ProjectStoreTest, AFifoInAFilesPlaceIsRefusedWithoutWaitingForAWriter)
{
    const ProjectStore store = makeProject();
    ASSERT_TRUE(QFile::remove(store.manifestFile()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(store.manifestFile()).constData(), 0600), 0);
    EXPECT_THROW_MESSAGE(store.load(), u"Не удалось прочитать файл «"_s + store.manifestFile() + u"»: это не обычный файл"_s);
}

TEST_F(ProjectStoreTest, TakeListsWithRepeatedIDsOrFileNamesAreRefused)
{
    const ProjectStore store = makeProject();
    const Take a = sampleTake(u"b1"_s);
    Take sameName = sampleTake(u"b2"_s);
    sameName.fileName = a.fileName;
    Take sameID = sampleTake(u"b2"_s);
    sameID.id = a.id;
    const QString message = u"В manifest найдены повторяющиеся дубли или имена файлов"_s;
    EXPECT_THROW_MESSAGE(store.saveManifest({a, sameName}), message);
    EXPECT_THROW_MESSAGE(store.saveManifest({a, sameID}), message);

    writeBytes(store.manifestFile(), encodeManifest(Manifest{{a, sameName}}));
    EXPECT_THROW_MESSAGE(store.load(), message);
}

// --- where a take's audio lives -----------------------------------------------------

TEST_F(ProjectStoreTest, AudioURLRefusesNamesThatLeaveTheFolderOrAreNotWav)
{
    const ProjectStore store = makeProject();
    for (const QString &name : {u"../x.wav"_s, u"sub/x.wav"_s, u"a\\b.wav"_s, u"take.wav.txt"_s, u""_s, u"."_s,
                               u".."_s, u"/abs.wav"_s,
                               u"a.wav"_s + QChar(0) + u".wav"_s}) { // the system would end the name at the NUL
        SCOPED_TRACE(name.toStdString());
        EXPECT_THROW_MESSAGE(store.audioURL(takeNamed(name)), u"Некорректное имя аудиофайла"_s);
    }
    for (const QString &name : {u".wav"_s, u"take.WAV"_s, u"Дубль.Wav"_s}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(store.audioURL(takeNamed(name)), store.recordingsFolder() + u'/' + name);
    }
}

TEST_F(ProjectStoreTest, AudioURLRefusesSymbolicLinks)
{
    const ProjectStore store = makeProject();
    const QString message = u"Символические ссылки на аудиофайлы не поддерживаются"_s;
    writeBytes(store.recordingsFolder() + u"/real.wav"_s, "RIFF");
    writeBytes(m_dir.filePath(u"outside.wav"_s), "RIFF");

    // A link is refused even when it points inside Recordings/, and when it dangles.
    QFile::link(store.recordingsFolder() + u"/real.wav"_s, store.recordingsFolder() + u"/inside.wav"_s);
    QFile::link(m_dir.filePath(u"outside.wav"_s), store.recordingsFolder() + u"/outside.wav"_s);
    QFile::link(m_dir.filePath(u"gone.wav"_s), store.recordingsFolder() + u"/dangling.wav"_s);
    for (const QString &name : {u"inside.wav"_s, u"outside.wav"_s, u"dangling.wav"_s}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_THROW_MESSAGE(store.audioURL(takeNamed(name)), message);
        // Lists of takes are checked from one reading of the folder; the verdict is the same.
        EXPECT_THROW_MESSAGE(store.saveManifest({sampleTake(u"b1"_s), takeNamed(name)}), message);
        EXPECT_EQ(store.missingAudioCount({takeNamed(u"real.wav"_s), takeNamed(name)}), 1);
    }
    writeBytes(store.manifestFile(), encodeManifest(Manifest{{takeNamed(u"inside.wav"_s)}}));
    EXPECT_THROW_MESSAGE(store.load(), message);

    // A linked Recordings/ is refused for every take, present or not.
    QDir(store.recordingsFolder()).removeRecursively();
    QDir(m_dir.path()).mkdir(u"elsewhere"_s);
    writeBytes(m_dir.filePath(u"elsewhere/present.wav"_s), "RIFF");
    QFile::link(m_dir.filePath(u"elsewhere"_s), store.recordingsFolder());
    EXPECT_THROW_MESSAGE(store.audioURL(takeNamed(u"present.wav"_s)), message);
    EXPECT_THROW_MESSAGE(store.audioURL(takeNamed(u"absent.wav"_s)), message);
    EXPECT_THROW_MESSAGE(store.saveManifest({takeNamed(u"absent.wav"_s)}), message);
}

