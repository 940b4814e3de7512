#pragma once

#include "audio/AudioController.h"
#include "core/ProjectLease.h"
#include "core/ProjectStore.h"
#include "core/ScriptBlock.h"
#include "core/Take.h"
#include "studio/Services.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tarnwick {

/// The one object that owns the open project and carries out every user command. Views read
/// its published state and call one operation per command. No command throws: every outcome
/// ends in `message`, failures as "Ошибка: " + description. Lives on the main thread.
class Studio final : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<ScriptBlock> blocks READ blocks NOTIFY blocksChanged)
    Q_PROPERTY(QList<Take> takes READ takes NOTIFY takesChanged)
    Q_PROPERTY(QString selectedBlockID READ selectedBlockID NOTIFY selectedBlockIDChanged)
    Q_PROPERTY(QString selectedRecordingID READ selectedRecordingID NOTIFY selectedRecordingIDChanged)
    Q_PROPERTY(QString message READ message NOTIFY messageChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(std::optional<Take> pendingTake READ pendingTake NOTIFY pendingTakeChanged)
    Q_PROPERTY(QString projectName READ projectName NOTIFY projectNameChanged)
    Q_PROPERTY(bool recording READ recording NOTIFY audioStateChanged)
    Q_PROPERTY(std::optional<QUuid> playingID READ playingID NOTIFY audioStateChanged)
    Q_PROPERTY(bool locked READ locked NOTIFY lockedChanged)

public:
    /// With `loadInitial` the start project is opened: the remembered one, else a scenario lying
    /// in `baseRoot`, else a new project from the sample scenario. Never fails: see `message`.
    Studio(QString baseRoot,
           StudioServices services,
           std::unique_ptr<AudioBackend> audioBackend,
           bool loadInitial,
           QObject *parent = nullptr);
    ~Studio() override;

    /// $TARNWICK_DATA_DIR as given, else the user's videos folder / "Tarnwick".
    static QString defaultRoot();
    QString rememberedProjectKey() const; // "projectPath:" + the data folder, exactly

    // --- published state ---
    const QList<ScriptBlock> &blocks() const { return m_blocks; }
    const QList<Take> &takes() const { return m_takes; }
    const QString &selectedBlockID() const { return m_selectedBlockID; }
    const QString &selectedRecordingID() const { return m_selectedRecordingID; }
    const QString &message() const { return m_message; }
    bool busy() const { return m_busy; }
    const std::optional<Take> &pendingTake() const { return m_pendingTake; }
    const QString &projectName() const { return m_projectName; }
    bool recording() const { return m_audio->recording(); }
    std::optional<QUuid> playingID() const { return m_audio->playingID(); }
    /// Busy or a take pending: commands that change the project do nothing.
    bool locked() const { return m_busy || m_pendingTake.has_value(); }

    AudioController &audio() { return *m_audio; }
    /// The input to record from, remembered between runs; empty means the system default.
    void setInputDevice(const QString &deviceID);
    static QString inputDeviceKey();
    const std::optional<ProjectStore> &store() const { return m_store; }
    const QString &baseRoot() const { return m_baseRoot; }

    // --- projects and selection ---
    void open(const ProjectStore &store); // throws StudioError
    void openProject();
    void report(const QString &description);
    std::optional<ScriptBlock> selectedBlock() const;
    void selectBlock(const QString &blockID);
    void selectSegment(const ScriptBlock &block, const VoiceSegment &segment);

    // --- recording ---
    void record(const ScriptBlock &block); // the block's next segment without a chosen take
    void record(const ScriptBlock &block, const VoiceSegment &segment);
    void stopRecording(); // also the retry of a failed save
    void cancelRecording();

    // --- takes ---
    void togglePlayback(const Take &take);
    void select(const Take &take);
    void deleteTake(const Take &take); // moves the file to the trash; "delete" is a keyword
    /// Plays or pauses the newest take of the selected segment: the one just recorded.
    void playLatestTake();
    void removeTakes(const QList<Take> &group, const ProjectStore &store); // throws StudioError

    // --- status and take queries; answer even while locked ---
    QString status(const ScriptBlock &block) const;
    bool hasTake(const QString &recordingID) const;
    bool hasSelectedTake(const QString &recordingID) const;
    QList<Take> takes(const QString &recordingID) const; // oldest first, manifest order on ties
    std::optional<Take> selectedTake(const QString &recordingID) const;
    /// A take's length in seconds, read from its file's header once; none when it cannot be read.
    std::optional<double> takeDuration(const Take &take) const;
    /// Blocks whose status is "Утверждено" or "Озвучено".
    qsizetype doneCount() const;

    // --- scenarios ---
    /// Makes a new project under "Projects" from a chosen JSON or XLSX file and opens it. The
    /// file is read and checked on a worker; `busy` holds until the import has ended.
    void importScenario();
    /// Rewrites the block's voice texts with one marker per sentence, after the takes of its
    /// current segments have gone to the trash (if `confirmTakeRemoval` agrees).
    void splitIntoSentences(const ScriptBlock &block);

    /// Saves a pending take before quitting; false keeps the application open.
    bool prepareToQuit();

    /// Asked before the takes of a block are removed to split it; answers whether to go ahead.
    std::function<bool(const ScriptBlock &block, qsizetype count)> confirmTakeRemoval;

signals:
    void blocksChanged();
    void takesChanged();
    void selectedBlockIDChanged();
    void selectedRecordingIDChanged();
    void messageChanged();
    void busyChanged();
    void pendingTakeChanged();
    void projectNameChanged();
    void audioStateChanged(); // the controller's recording or playingID
    void lockedChanged();

private:
    /// What the status of a block needs, worked out once per scenario instead of on every redraw.
    struct BlockFacts
    {
        ScriptBlock block;
        QList<VoiceSegment> segments;
        bool hasMarkers = false;
        bool faultyMarkup = false;
    };
    /// Per recording id: positions in `takes`, and the first chosen one.
    struct TakeIndex
    {
        QList<qsizetype> positions;
        qsizetype firstSelected = -1;
    };

    bool attempt(const std::function<void()> &step);
    void openStart();
    void continueRecording(const Take &take, const ProjectStore &store);
    void finishImport(const QString &file, const QList<ScriptBlock> &blocks);
    void onRecordingError(const QString &text);
    BlockFacts factsOf(const ScriptBlock &block) const;

    void setBlocks(QList<ScriptBlock> blocks);
    void setTakes(QList<Take> takes);
    void setSelection(const QString &blockID, const QString &recordingID);
    void setMessage(const QString &message);
    void setBusy(bool busy);
    void setPendingTake(std::optional<Take> take);
    void setProjectName(const QString &name);

    QString m_baseRoot;
    StudioServices m_services;
    // Declared before the controller, so a take still recording at destruction is stopped
    // before the project is unlocked.
    std::optional<ProjectStore> m_store;
    std::unique_ptr<ProjectLease> m_lease;
    std::unique_ptr<AudioController> m_audio;

    QList<ScriptBlock> m_blocks;
    QList<Take> m_takes;
    QString m_selectedBlockID;
    QString m_selectedRecordingID;
    QString m_message;
    bool m_busy = false;
    std::optional<Take> m_pendingTake;
    QString m_projectName;

    QHash<QString, BlockFacts> m_blockFacts; // by block id
    QHash<QString, TakeIndex> m_takeIndex;   // by recording id
    mutable QHash<QUuid, std::optional<double>> m_durations; // by take id: a take's file never changes
};

} // namespace tarnwick
