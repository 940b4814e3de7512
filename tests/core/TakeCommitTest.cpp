#include "core/ProjectStore.h"

#include "core/Manifest.h"
#include "support/TestSupport.h"

#include <QDirIterator>
#include <QFile>

#include <sndfile.h>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

const QString busy = u"Сначала завершите сохранение предыдущей записи"_s;

class TakeCommitTest : public ::testing::Test
{
protected:
    QTemporaryDir m_dir;
    ProjectStore m_store = ProjectStore::create(m_dir.path(), {sampleBlock(u"b1"_s)}, u"p"_s);
    QList<Take> m_committed{sampleTake(u"b1"_s)};

    void SetUp() override { m_store.saveManifest(m_committed); }

    bool pending() const { return QFile::exists(m_store.pendingFile()); }
    QList<Take> manifest() const { return decodeManifest(readBytes(m_store.manifestFile()), {}).takes; }
    void recordAudio(const Take &take) const { writeBytes(m_store.audioURL(take), "RIFF$\0\0\0WAVE"); }
};

} // namespace

// --- the protocol step by step ------------------------------------------------------

TEST_F(TakeCommitTest, CompleteAppendsSavesAndClearsTheRecord)
{
    const Take take = sampleTake(u"b1"_s);
    m_store.begin(take);
    recordAudio(take);
    const QList<Take> expected{m_committed[0], take};
    EXPECT_EQ(m_store.complete(take, m_committed), expected);
    EXPECT_EQ(manifest(), expected);
    EXPECT_FALSE(pending());

    // Completing again does not add the take twice.
    EXPECT_EQ(m_store.complete(take, expected), expected);
    EXPECT_EQ(manifest(), expected);
}

TEST_F(TakeCommitTest, CancelRemovesAudioAndRecordAndToleratesNeither)
{
    const Take take = sampleTake(u"b1"_s);
    m_store.begin(take);
    recordAudio(take);
    m_store.cancel(take);
    EXPECT_FALSE(pending());
    EXPECT_TRUE(entries(m_store.recordingsFolder()).isEmpty());
    EXPECT_NO_THROW(m_store.cancel(take));
}

TEST_F(TakeCommitTest, MalformedRecordBlocksBothLoadAndBegin)
{
    writeBytes(m_store.pendingFile(), "{\"id\": ");
    const QString message = u"Файл «"_s + m_store.pendingFile()
                          + u"»: ошибка JSON в строке 1, столбце 8: объект не закрыт скобкой «}»"_s;
    EXPECT_THROW_MESSAGE(m_store.load(), message);
    EXPECT_THROW_MESSAGE(m_store.begin(sampleTake(u"b1"_s)), message);
    EXPECT_TRUE(pending());
}

// --- a crash at every point, then begin or load -------------------------------------

TEST_F(TakeCommitTest, ACrashAtAnyStepLosesNothingAndTheNextLoadFinishesTheTake)
{
    Take take = sampleTake(u"b1"_s);
    take.selected = true;
    const QList<Take> withTake{m_committed[0], take};
    const struct
    {
        const char *when;
        std::function<void(const ProjectStore &)> steps;
        bool committed; // the take is in the manifest after the load
        bool beginRefused; // an unfinished take holds the next one back
    } cases[] = {
        {"before any audio", [&](const ProjectStore &store) { store.begin(take); }, false, true},
        {"while recording, the file still open",
         [&](const ProjectStore &store) {
             store.begin(take);
             static QFile wav; // killed with it open, as a recorder would be
             wav.setFileName(store.audioURL(take));
             if (!wav.open(QIODevice::WriteOnly) || wav.write("RIFF partial") < 0 || !wav.flush())
                 throw StudioError(u"no wav"_s);
         },
         true, true},
        {"after a take that captured nothing",
         [&](const ProjectStore &store) {
             store.begin(take);
             SF_INFO info{48000, 48000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0, 0};
             sf_close(sf_open(QFile::encodeName(store.audioURL(take)).constData(), SFM_WRITE, &info));
         },
         false, true},
                {"after the manifest write, before the record's removal",
         [&](const ProjectStore &store) {
             store.begin(take);
             writeBytes(store.audioURL(take), "RIFF");
             store.saveManifest(withTake);
         },
         true, false},
    };
    for (const auto &c : cases) {
        for (const bool viaLoad : {false, true}) {
            SCOPED_TRACE(std::string(c.when) + (viaLoad ? ", then load" : ", then begin"));
            const ProjectStore store = ProjectStore::create(m_dir.path(), {sampleBlock(u"b1"_s)}, u"p"_s);
            store.saveManifest(m_committed);
            ASSERT_TRUE(Child([&] { c.steps(store); }).reached()); // and killed: what a crash leaves
            if (!viaLoad) {
                EXPECT_EQ(errorOf([&] { store.begin(sampleTake(u"b1"_s)); }),
                          c.beginRefused ? std::optional(busy) : std::nullopt);
                continue;
            }
            EXPECT_EQ(store.load().takes, c.committed ? withTake : m_committed); // never added twice
            EXPECT_EQ(decodeManifest(readBytes(store.manifestFile()), {}).takes, store.load().takes);
            EXPECT_FALSE(QFile::exists(store.pendingFile()));
            EXPECT_EQ(QFile::exists(store.audioURL(take)), c.committed); // an empty take is let go
        }
    }
}

TEST_F(TakeCommitTest, LoadClearsTheTemporaryFilesOfWritesCutShort)
{
    // A process killed between writing a temporary file and renaming it leaves the file behind;
    // without this every crash mid-save would add one to the project folder for good.
    const QStringList leftovers{u"manifest.json.rVoJSW"_s, u"scenario.json.ab12CD"_s,
                                u"pending-take.json.QwErTy"_s};
    const QStringList keep{u"manifest.json.bak"_s, u"manifest.json.abcdefg"_s, u"notes.json.abcdef"_s};
    for (const QString &name : leftovers + keep)
        writeBytes(m_store.root() + u'/' + name, "{\"ta");
    const QByteArray manifestBefore = readBytes(m_store.manifestFile());

    EXPECT_EQ(m_store.load().takes, m_committed);
    const QStringList left = entries(m_store.root());
    for (const QString &name : leftovers) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_FALSE(left.contains(name));
    }
    for (const QString &name : keep) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(left.contains(name));
    }
    EXPECT_EQ(readBytes(m_store.manifestFile()), manifestBefore);
}

// --- a medium that fails under a save ----------------------------------------------------

namespace {

/// Every file under `folder` but the filler, with its bytes.
QMap<QString, QByteArray> filesUnder(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName() != u"filler")
            files.insert(path, readBytes(path));
    }
    return files;
}

} // namespace

TEST(TakeCommitOnABrokenMediumTest, EverySaveChangesNothingKeepsTheTakePendingAndWorksOnRetry)
{
    const QList<ScriptBlock> blocks{sampleBlock(u"b1"_s)};
    const QList<ScriptBlock> moreBlocks{sampleBlock(u"b1"_s), sampleBlock(u"b2"_s, u"2"_s)};
    const Take committed = sampleTake(u"b1"_s);
    const Take take = sampleTake(u"b1"_s);
    const auto recorded = [&](const ProjectStore &store) {
        store.begin(take);
        writeBytes(store.audioURL(take), "RIFF$\0\0\0WAVE");
    };
    struct Step
    {
        const char *name;
        std::function<void(const ProjectStore &)> before;
        std::function<void(const ProjectStore &)> step;
        std::function<QString(const ProjectStore &)> file; // named by the error
        std::function<void(const ProjectStore &)> afterRetry;
        bool failsOnAFullDisk = true; // removing a file needs no room
    };
    const std::vector<Step> steps = {
        {"saveScenario", [](const ProjectStore &) {},
         [&](const ProjectStore &store) { store.saveScenario(moreBlocks); },
         [](const ProjectStore &store) { return store.scenarioFile(); },
         [&](const ProjectStore &store) { EXPECT_EQ(store.load().blocks, moreBlocks); }},
        {"saveManifest", [](const ProjectStore &) {},
         [&](const ProjectStore &store) { store.saveManifest({committed, take}); },
         [](const ProjectStore &store) { return store.manifestFile(); },
         [&](const ProjectStore &store) { EXPECT_EQ(store.load().takes, (QList<Take>{committed, take})); }},
        {"begin", [](const ProjectStore &) {}, [&](const ProjectStore &store) { store.begin(take); },
         [](const ProjectStore &store) { return store.pendingFile(); },
         [&](const ProjectStore &store) { EXPECT_EQ(decodeTake(readBytes(store.pendingFile()), {}), take); }},
        {"complete", recorded, [&](const ProjectStore &store) { store.complete(take, {committed}); },
         [](const ProjectStore &store) { return store.manifestFile(); },
         [&](const ProjectStore &store) {
             EXPECT_FALSE(QFile::exists(store.pendingFile()));
             EXPECT_EQ(store.load().takes, (QList<Take>{committed, take}));
         }},
        {"cancel", recorded, [&](const ProjectStore &store) { store.cancel(take); },
         [&](const ProjectStore &store) { return store.audioURL(take); },
         [&](const ProjectStore &store) {
             EXPECT_FALSE(QFile::exists(store.pendingFile()));
             EXPECT_TRUE(entries(store.recordingsFolder()).isEmpty());
         },
         false},
    };

    for (const bool full : {true, false}) {
        for (const Step &s : steps) {
            if (full && !s.failsOnAFullDisk)
                continue;
            SCOPED_TRACE(std::string(s.name) + (full ? " on a full disk" : " on a read-only medium"));
            auto disk = ScratchMount::tmpfs(1024 * 1024);
            REQUIRE_MOUNT(disk);
            const ProjectStore store = ProjectStore::create(disk->path(), blocks, u"p"_s);
            store.saveManifest({committed});
            s.before(store);
            const bool pendingBefore = QFile::exists(store.pendingFile());
            const QMap<QString, QByteArray> before = filesUnder(disk->path());
            if (full)
                disk->fill();
            else
                ASSERT_TRUE(disk->setReadOnly(true));

            const QString action = std::string_view(s.name) == "cancel" ? u"Не удалось удалить файл «"_s
                                                                        : u"Не удалось записать файл «"_s;
            EXPECT_THROW_MESSAGE(s.step(store), action + s.file(store) + u"»: "_s
                                                    + (full ? u"на диске нет места"_s
                                                            : u"носитель доступен только для чтения"_s));
            EXPECT_EQ(filesUnder(disk->path()), before);
            EXPECT_EQ(QFile::exists(store.pendingFile()), pendingBefore);

            if (full)
                disk->unfill();
            else
                ASSERT_TRUE(disk->setReadOnly(false));
            EXPECT_EQ(errorOf([&] { s.step(store); }), std::nullopt);
            s.afterRetry(store);
        }
    }
}
