// State, start-up, opening projects, selection, status queries and quitting. Recording lives in
// StudioRecording.cpp, take commands in StudioTakes.cpp.

#include "studio/Studio.h"

#include "core/SampleScenario.h"
#include "core/StudioError.h"
#include "studio/ListenThrough.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QTextBoundaryFinder>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

/// Boundaries of user-perceived characters, the first at 0 and the last at the text's end.
QList<qsizetype> characterBoundaries(const QString &text)
{
    QList<qsizetype> boundaries{0};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    while (finder.toNextBoundary() > 0)
        boundaries.append(finder.position());
    return boundaries;
}

/// The title of a project from its folder's name; see `create` for the "-" + UUID ending.
QString projectTitle(const QString &folderName, qsizetype blockCount)
{
    if (folderName == u"Tarnwick")
        return u"Мой сценарий"_s;
    const QList<qsizetype> boundaries = characterBoundaries(folderName);
    const qsizetype characters = boundaries.size() - 1;
    if (characters >= 38) {
        const QString tail = folderName.mid(boundaries.at(characters - 36));
        if (uuidFromText(tail))
            return folderName.left(boundaries.at(characters - 37));
    }
    if (uuidFromText(folderName))
        return u"Сценарий · "_s + QString::number(blockCount) + u" блоков"_s;
    return folderName;
}

QString standardised(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(path).absoluteFilePath()) : canonical;
}

} // namespace

Studio::Studio(QString baseRoot,
               StudioServices services,
               std::unique_ptr<AudioBackend> audioBackend,
               bool loadInitial,
               QObject *parent)
    : QObject(parent)
    , m_baseRoot(std::move(baseRoot))
    , m_services(std::move(services))
    , m_audio(std::make_unique<AudioController>(std::move(audioBackend)))
    , m_listenThrough(std::make_unique<ListenThrough>(*this))
    , m_message(u"Готово к записи"_s)
    , m_projectName(u"Tarnwick"_s)
{
    // Split confirmation has no dialog below the interface: refuse unless a front end answers.
    confirmTakeRemoval = [](const ScriptBlock &, qsizetype) { return false; };

    // The status column depends on the controller's state, so its changes are ours too.
    connect(m_audio.get(), &AudioController::recordingChanged, this, &Studio::audioStateChanged);
    connect(m_audio.get(), &AudioController::playingIDChanged, this, &Studio::audioStateChanged);
    connect(m_listenThrough.get(), &ListenThrough::listeningChanged, this, &Studio::listeningChanged);
    const QPointer<Studio> self = this;
    m_audio->onRecordingError = [self](const QString &text) {
        if (self)
            self->onRecordingError(text);
    };

    m_audio->setInputDeviceID(m_services.defaults->text(inputDeviceKey()).value_or(QString()));
    if (loadInitial)
        openStart();
}

Studio::~Studio()
{
    // The worker writes into the export folder: let it stop cleanly before the process goes.
    if (m_exportCancel) {
        m_exportCancel->store(true);
        m_export.waitForFinished();
    }
    // The job holds no pointer to us, but it must not write into a project folder we released.
    if (m_analysis) {
        m_analysis->cancel();
        m_analysis->waitForFinished();
    }
    m_audio->onRecordingError = nullptr;
    m_audio->disconnect(this);
}

QString Studio::defaultRoot()
{
    if (qEnvironmentVariableIsSet("TARNWICK_DATA_DIR"))
        return qEnvironmentVariable("TARNWICK_DATA_DIR");
    return QStandardPaths::writableLocation(QStandardPaths::MoviesLocation) + u"/Tarnwick"_s;
}

QString Studio::inputDeviceKey()
{
    return u"inputDeviceID"_s;
}

void Studio::setInputDevice(const QString &deviceID)
{
    m_services.defaults->setText(inputDeviceKey(), deviceID);
    m_audio->setInputDeviceID(deviceID);
}

QString Studio::rememberedProjectKey() const
{
    return u"projectPath:"_s + m_baseRoot;
}

QString Studio::rememberedSelectionKey(const QString &root)
{
    return u"selection:"_s + root;
}

bool Studio::attempt(const std::function<void()> &step)
{
    try {
        step();
        return true;
    } catch (const StudioError &error) {
        report(error.message());
    } catch (const std::exception &error) { // a bug, but the project stays safe and the user is told
        report(QString::fromUtf8(error.what()));
    }
    return false;
}

void Studio::report(const QString &description)
{
    setMessage(u"Ошибка: "_s + description, {Outcome::Result::failed, description});
}

void Studio::refuse(const QString &message)
{
    setMessage(message, {Outcome::Result::refused, message});
}

void Studio::openStart()
{
    attempt([this] {
        if (const std::optional<QString> remembered = m_services.defaults->text(rememberedProjectKey())) {
            open(ProjectStore(*remembered));
            return;
        }
        if (QFileInfo::exists(m_baseRoot + u"/scenario.json"_s)) {
            open(ProjectStore(m_baseRoot));
            return;
        }
        open(ProjectStore::create(m_baseRoot + u"/Projects"_s, sampleScenario(), u"Scenario"_s));
    });
}

void Studio::open(const ProjectStore &store)
{
    if (locked())
        throw StudioError(u"Сначала завершите запись или сохранение"_s);

    std::unique_ptr<ProjectLease> lease;
    if (!m_store || standardised(m_store->root()) != standardised(store.root()))
        lease = std::make_unique<ProjectLease>(store.root());
    const ProjectContents contents = store.load(); // a failure drops only the new lease

    m_audio->stopPlayback();
    m_store = store;
    m_durations.clear();
    if (lease)
        m_lease = std::move(lease);
    setBlocks(contents.blocks);
    setTakes(contents.takes);
    stopAnalysis();
    analyse(m_takes, FiguresCache::Scope::allTakes);
    const auto [blockID, recordingID] = rememberedSelection(store);
    setSelection(blockID, recordingID);
    setProjectName(projectTitle(QFileInfo(store.root()).fileName(), m_blocks.size()));
    m_services.defaults->setText(rememberedProjectKey(), store.root());
    const qsizetype missing = store.missingAudioCount(m_takes);
    setMessage(projectOpenedMessage(missing), {Outcome::Result::done, {}, missing > 0});
}

void Studio::openProject()
{
    if (locked())
        return;
    const std::optional<QString> folder =
        m_services.chooser->chooseFolder(u"Выберите папку с scenario.json, manifest.json и Recordings"_s);
    if (folder)
        attempt([&] { open(ProjectStore(*folder)); });
}

/// The block and segment chosen when the project was last open, if both still exist; else the
/// first block at its first segment. Needs `blocks` loaded.
std::pair<QString, QString> Studio::rememberedSelection(const ProjectStore &store) const
{
    const QStringList remembered =
        m_services.defaults->text(rememberedSelectionKey(store.root())).value_or(QString()).split(u'\n');
    if (remembered.size() == 2 && m_blockFacts.contains(remembered.at(0))) {
        const QList<VoiceSegment> &segments = m_blockFacts.value(remembered.at(0)).segments;
        if (std::any_of(segments.cbegin(), segments.cend(),
                        [&](const VoiceSegment &segment) { return segment.id == remembered.at(1); }))
            return {remembered.at(0), remembered.at(1)};
    }
    if (m_blocks.isEmpty())
        return {};
    return {m_blocks.constFirst().id, m_blockFacts.value(m_blocks.constFirst().id).segments.constFirst().id};
}

std::optional<ScriptBlock> Studio::selectedBlock() const
{
    for (const ScriptBlock &block : m_blocks) {
        if (block.id == m_selectedBlockID)
            return block;
    }
    return std::nullopt;
}

void Studio::selectBlock(const QString &blockID)
{
    if (locked() || !m_blockFacts.contains(blockID))
        return;
    const QList<VoiceSegment> &segments = m_blockFacts.value(blockID).segments;
    const bool keep = std::any_of(segments.cbegin(), segments.cend(), [this](const VoiceSegment &segment) {
        return segment.id == m_selectedRecordingID;
    });
    setSelection(blockID, keep ? m_selectedRecordingID
                               : (segments.isEmpty() ? blockID : segments.constFirst().id));
    m_audio->stopPlayback();
}

void Studio::selectSegment(const ScriptBlock &block, const VoiceSegment &segment)
{
    if (locked())
        return;
    setSelection(block.id, segment.id);
    m_audio->stopPlayback();
}

bool Studio::prepareToQuit()
{
    if (m_busy) {
        refuse(u"Дождитесь завершения операции"_s);
        return false;
    }
    if (m_pendingTake)
        stopRecording();
    if (!m_pendingTake) {
        m_audio->stopPlayback();
        return true;
    }
    m_services.alert->show(u"Не удалось сохранить дубль"_s,
                           m_message + u"\nПроверьте доступ к папке проекта и повторите сохранение."_s);
    return false;
}

// --- published fields -------------------------------------------------------------

void Studio::setBlocks(QList<ScriptBlock> blocks)
{
    m_blocks = std::move(blocks);
    m_blockFacts.clear();
    m_blockFacts.reserve(m_blocks.size());
    for (const ScriptBlock &block : m_blocks)
        m_blockFacts.insert(block.id, factsOf(block));
    emit blocksChanged();
}

void Studio::setTakes(QList<Take> takes)
{
    setLastDeletion(std::nullopt); // undo reaches only the delete just made
    m_takes = std::move(takes);
    m_takeIndex.clear();
    for (qsizetype i = 0; i < m_takes.size(); ++i) {
        TakeIndex &index = m_takeIndex[m_takes.at(i).blockID];
        index.positions.append(i);
        if (index.firstSelected < 0 && m_takes.at(i).selected)
            index.firstSelected = i;
    }
    emit takesChanged();
}

void Studio::setSelection(const QString &blockID, const QString &recordingID)
{
    if (m_selectedBlockID == blockID && m_selectedRecordingID == recordingID)
        return;
    if (m_selectedBlockID != blockID) {
        m_selectedBlockID = blockID;
        emit selectedBlockIDChanged();
    }
    if (m_selectedRecordingID != recordingID) {
        m_selectedRecordingID = recordingID;
        emit selectedRecordingIDChanged();
    }
    // The speaker comes back to the line they left, not to block 1.
    if (m_store && !blockID.isEmpty())
        m_services.defaults->setText(rememberedSelectionKey(m_store->root()), blockID + u'\n' + recordingID);
}

void Studio::setMessage(const QString &message, Outcome outcome)
{
    // Announced even when unchanged: the same outcome twice is still news to the user.
    m_message = message;
    m_outcome = std::move(outcome);
    ++m_messageSerial;
    emit messageChanged();
}

void Studio::setLastDeletion(std::optional<DeletedTake> deletion)
{
    const bool could = canUndoDelete();
    m_lastDeletion = std::move(deletion);
    if (could != canUndoDelete())
        emit canUndoDeleteChanged();
}

void Studio::setBusy(bool busy)
{
    if (m_busy == busy)
        return;
    m_busy = busy;
    emit busyChanged();
    emit lockedChanged();
}

void Studio::setPendingTake(std::optional<Take> take)
{
    const bool wasLocked = locked();
    m_pendingTake = std::move(take);
    emit pendingTakeChanged();
    if (wasLocked != locked())
        emit lockedChanged();
}

void Studio::setProjectName(const QString &name)
{
    if (m_projectName == name)
        return;
    m_projectName = name;
    emit projectNameChanged();
}

} // namespace tarnwick
