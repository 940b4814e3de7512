#pragma once

#include "audio/FakeAudioBackend.h"
#include "studio/Studio.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

namespace tarnwick::testing {

/// Microphone access the user has granted.
class FakeMicrophone final : public MicrophoneAccess
{
public:
    Status status() const override { return Status::authorised; }
    void request(std::function<void(bool)> callback) override { callback(true); }
};

/// A trash that moves files into a folder of the test's, or refuses when told to.
class FakeTrash final : public Trash
{
public:
    explicit FakeTrash(QString folder)
        : m_folder(std::move(folder))
    {
    }
    QString moveToTrash(const QString &path) override
    {
        const QString trashed = m_folder + u'/' + QFileInfo(path).fileName();
        if (fails || !QDir().mkpath(m_folder) || !QFile::rename(path, trashed))
            throw StudioError(u"Корзина недоступна"_qs);
        moved.append(QFileInfo(path).fileName());
        return trashed;
    }
    void restore(const QString &trashedPath, const QString &destination) override
    {
        if (!QFile::rename(trashedPath, destination))
            throw StudioError(u"не вернуть"_qs);
    }
    bool fails = false;
    QStringList moved; // file names, in order

private:
    QString m_folder;
};

class FakeChooser final : public FileChooser
{
public:
    std::optional<QString> chooseFolder(const QString &) override { return folderAnswer; }
    std::optional<QString> chooseScenarioFile(const QString &) override { return fileAnswer; }
    std::optional<QString> folderAnswer;
    std::optional<QString> fileAnswer;
};

class FakeAlert final : public ModalAlert
{
public:
    void show(const QString &title, const QString &text) override { shown.append({title, text}); }
    QList<std::pair<QString, QString>> shown;
};

class MemoryDefaults final : public UserDefaults
{
public:
    explicit MemoryDefaults(QHash<QString, QString> &values)
        : m_values(values)
    {
    }
    std::optional<QString> text(const QString &key) const override
    {
        return m_values.contains(key) ? std::optional(m_values.value(key)) : std::nullopt;
    }
    void setText(const QString &key, const QString &value) override { m_values.insert(key, value); }

private:
    QHash<QString, QString> &m_values;
};

/// A studio over fake services and the fake audio backend, in a data folder of its own. The
/// fakes stay reachable through raw pointers; the studio owns them.
class StudioFixture : public ::testing::Test
{
protected:
    QTemporaryDir m_dir;
    QString m_dataFolder = m_dir.filePath(u"data"_qs);
    QHash<QString, QString> m_defaults; // survives the studio, like the user's settings
    FakeTrash *m_trash = nullptr;
    FakeChooser *m_chooser = nullptr;
    FakeAlert *m_alert = nullptr;
    FakeAudioBackend *m_audio = nullptr; // none when the test gives a real backend
    std::unique_ptr<Studio> m_studio;

    Studio &startStudio(bool loadInitial = true, std::unique_ptr<AudioBackend> audio = nullptr)
    {
        m_studio.reset();
        m_audio = nullptr;
        if (!audio)
            audio = kept(m_audio, std::make_unique<FakeAudioBackend>());
        m_studio = std::make_unique<Studio>(
            m_dataFolder,
            StudioServices{std::make_unique<FakeMicrophone>(),
                           kept(m_trash, std::make_unique<FakeTrash>(m_dir.filePath(u"trash"_qs))),
                           kept(m_chooser, std::make_unique<FakeChooser>()),
                           kept(m_alert, std::make_unique<FakeAlert>()),
                           std::make_unique<MemoryDefaults>(m_defaults)},
            std::move(audio), loadInitial);
        return *m_studio;
    }
    /// The fake, its pointer kept in `raw` for the test while the studio owns it.
    template<typename T>
    static std::unique_ptr<T> kept(T *&raw, std::unique_ptr<T> fake)
    {
        raw = fake.get();
        return fake;
    }
    /// A project in the data folder's "Projects", opened.
    Studio &studioWith(const QList<ScriptBlock> &blocks)
    {
        Studio &studio = startStudio(false);
        studio.open(ProjectStore::create(m_dataFolder + u"/Projects"_qs, blocks, u"Урок"_qs));
        return studio;
    }
    const ProjectStore &store() const { return *m_studio->store(); }
    /// The segment or block of every take on disk, in the manifest's order.
    QStringList recordedIDs() const
    {
        QStringList ids;
        for (const Take &take : ProjectStore(store().root()).load().takes)
            ids.append(take.blockID);
        return ids;
    }

    /// Starts a take of `segment`, or of the block's next one, and waits until the studio is
    /// recording or gave up.
    bool recordAndWait(const ScriptBlock &block, const std::optional<VoiceSegment> &segment = std::nullopt)
    {
        segment ? m_studio->record(block, *segment) : m_studio->record(block);
        return waitFor([this] { return !m_studio->busy(); }) && m_studio->recording();
    }
    /// What the device would have written by now.
    void writeAudio() const { writeBytes(m_audio->recorder->url, QByteArray("RIFF\0\0\0\0WAVE", 12)); }
    /// Records and saves one take of `segment`; the saved take.
    Take commitTake(const ScriptBlock &block, const VoiceSegment &segment)
    {
        EXPECT_TRUE(recordAndWait(block, segment));
        writeAudio();
        EXPECT_EQ(m_studio->stopRecording(), Outcome{});
        return m_studio->takes().constLast();
    }
};

/// A block whose English text is cut into the given marked segments.
inline ScriptBlock markedBlock(const QString &id, const QString &number, const QStringList &markers)
{
    ScriptBlock block = sampleBlock(id, number);
    block.english.clear();
    for (const QString &marker : markers)
        block.english += u"[voice:"_qs + marker + u"]\nLine "_qs + marker + u".\n"_qs;
    block.russian.clear();
    return block;
}

} // namespace tarnwick::testing
