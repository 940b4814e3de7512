#pragma once

#include "audio/AudioController.h"
#include "core/EditorExport.h"
#include "core/FiguresCache.h"
#include "core/ProjectLease.h"
#include "core/ProjectStore.h"
#include "core/ScriptBlock.h"
#include "core/Take.h"
#include "core/TakeAnalysis.h"
#include "core/TrimPoints.h"
#include "studio/BlockStatus.h"
#include "studio/Services.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <variant>

namespace tarnwick {

class ListenThrough;

/// What a command came to, for callers that act on it; `message` holds the same in words.
struct Outcome
{
    enum class Result { done, cancelled, refused, failed };
    Result result = Result::done;
    QString error; // the description, for refused and failed
    bool warning = false; // done, but with something the user must look at
    bool operator==(const Outcome &) const = default;
};

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
    Q_PROPERTY(bool messageIsError READ messageIsError NOTIFY messageChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(std::optional<Take> pendingTake READ pendingTake NOTIFY pendingTakeChanged)
    Q_PROPERTY(QString projectName READ projectName NOTIFY projectNameChanged)
    Q_PROPERTY(bool recording READ recording NOTIFY audioStateChanged)
    Q_PROPERTY(std::optional<QUuid> playingID READ playingID NOTIFY audioStateChanged)
    Q_PROPERTY(bool locked READ locked NOTIFY lockedChanged)
    Q_PROPERTY(bool canUndoDelete READ canUndoDelete NOTIFY canUndoDeleteChanged)
    Q_PROPERTY(bool listening READ listening NOTIFY listeningChanged)
    Q_PROPERTY(bool exporting READ exporting NOTIFY exportingChanged)
    Q_PROPERTY(double exportProgress READ exportProgress NOTIFY exportProgressChanged)

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
    /// Where the chosen block and segment of the project at `root` are remembered.
    static QString rememberedSelectionKey(const QString &root);

    // --- published state ---
    const QList<ScriptBlock> &blocks() const { return m_blocks; }
    const QList<Take> &takes() const { return m_takes; }
    const QString &selectedBlockID() const { return m_selectedBlockID; }
    const QString &selectedRecordingID() const { return m_selectedRecordingID; }
    const QString &message() const { return m_message; }
    /// What the last command that wrote `message` came to.
    const Outcome &outcome() const { return m_outcome; }
    /// The message reports a failure or a refusal, not an outcome the user asked for.
    bool messageIsError() const
    {
        return m_outcome.warning || m_outcome.result == Outcome::Result::failed
            || m_outcome.result == Outcome::Result::refused;
    }
    bool busy() const { return m_busy; }
    const std::optional<Take> &pendingTake() const { return m_pendingTake; }
    const QString &projectName() const { return m_projectName; }
    bool recording() const { return m_audio->recording(); }
    std::optional<QUuid> playingID() const { return m_audio->playingID(); }
    /// Busy or a take pending: commands that change the project do nothing.
    bool locked() const { return m_busy || m_pendingTake.has_value(); }
    /// A take was just deleted and nothing has changed the takes since.
    bool canUndoDelete() const { return m_lastDeletion.has_value(); }

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
    /// Chooses the next block after the chosen one, round to the start, that still needs a take,
    /// at its first segment without a chosen take.
    void selectNextBlockToRecord();
    /// Opens the project's folder with `openFolder`; its refusal is reported with the path.
    void showProject(const std::function<bool(const QString &folder)> &openFolder);

    // --- recording ---
    void record(const ScriptBlock &block); // the block's next segment without a chosen take
    void record(const ScriptBlock &block, const VoiceSegment &segment);
    Outcome stopRecording(); // also the retry of a failed save
    Outcome cancelRecording();
    /// While a take records: saves it and at once records the next segment without a chosen
    /// take, in this block or the ones after it. With nothing pending: records the chosen block.
    void saveAndRecordNext();

    // --- takes ---
    void togglePlayback(const Take &take);
    void select(const Take &take);
    void deleteTake(const Take &take); // moves the file to the trash; "delete" is a keyword
    /// Plays or pauses the newest take of the selected segment: the one just recorded.
    void playLatestTake();
    void removeTakes(const QList<Take> &group, const ProjectStore &store); // throws StudioError
    /// Brings the take deleted last back from the trash, at its old place with its old mark.
    void undoDelete();

    // --- review ---
    /// Plays the chosen takes from the chosen block on, in script order; see ListenThrough.
    void listenThrough();
    void stopListening();
    bool listening() const;
    /// The part of a take a listener hears and its gain: trimmed, at the export preset's gain.
    PlaybackRegion playbackRegion(const Take &take) const;
    /// The loudness preset the last export used, remembered between runs; r128 at first.
    LoudnessPreset exportPreset() const;
    void setExportPreset(LoudnessPreset preset);
    /// Asks for a folder with the platform's chooser; nothing when the user cancels.
    std::optional<QString> chooseFolder(const QString &prompt) { return m_services.chooser->chooseFolder(prompt); }

    // --- status and take queries; answer even while locked ---
    BlockStatus status(const ScriptBlock &block) const;
    bool hasTake(const QString &recordingID) const;
    bool hasSelectedTake(const QString &recordingID) const;
    QList<Take> takes(const QString &recordingID) const; // oldest first, manifest order on ties
    std::optional<Take> selectedTake(const QString &recordingID) const;
    /// A take's length in seconds, read from its file's header once; none when it cannot be read.
    std::optional<double> takeDuration(const Take &take) const;
    /// A take's measured figures; none until its file has been analysed (on a worker, after the
    /// take is saved or when a project opens) or when the file cannot be read.
    std::optional<TakeFigures> figures(const QUuid &takeID) const;
    /// The status line after a take was saved, once its figures are known: loudness and true
    /// peak, or what to check when the figures raise flags (then a warning).
    static std::pair<QString, bool> savedTakeMessage(const TakeFigures &figures);
    /// Blocks whose status counts as done.
    qsizetype doneCount() const;
    /// The block a take with this recording id belongs to.
    std::optional<ScriptBlock> blockOfRecording(const QString &recordingID) const;

    // --- review: stored in the manifest, the take's file is never touched ---
    /// Sets both trim points, in seconds into the take's file; they are clamped to the file.
    void setTrim(const QUuid &takeID, double in, double out);
    void resetTrim(const QUuid &takeID); // back to the automatic points
    void setTakeNote(const QUuid &takeID, const QString &note);
    void setTakeRating(const QUuid &takeID, int rating); // 0 to 3
    /// The points the take is used between: stored ones, else automatic from its speech.
    std::optional<TrimPoints> trimPoints(const QUuid &takeID) const;

    // --- export ---
    /// Writes the editor's package of the open project into `outDir` on a worker. `busy` and
    /// `exporting` hold until it ends; the outcome lands in `message` like any command's.
    void exportForEditor(const QString &outDir, const ExportOptions &options);
    /// Stops a running export; the previous export in its folder stays whole.
    void cancelExport();
    bool exporting() const { return m_exportCancel != nullptr; }
    double exportProgress() const { return m_exportProgress; } // 0 to 1

    // --- scenarios ---
    /// Makes a new project under "Projects" from a chosen JSON or XLSX file and opens it. The
    /// file is read and checked on a worker; `busy` holds until the import has ended.
    void importScenario();
    /// Rewrites the block's voice texts with one marker per sentence, after the takes of its
    /// current segments have gone to the trash (if `confirmTakeRemoval` agrees).
    Outcome splitIntoSentences(const ScriptBlock &block);

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
    void canUndoDeleteChanged();
    void listeningChanged();
    void exportingChanged();
    void exportProgressChanged();
    void figuresChanged(); // figures of one or more takes arrived

private:
    friend class ListenThrough;

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
    /// What undoing the last delete needs.
    struct DeletedTake
    {
        Take take;
        qsizetype position = 0; // in the manifest
        QString trashedPath;    // empty when there was no file to move
    };

    bool attempt(const std::function<void()> &step);
    void openStart();
    void continueRecording(const Take &take, const ProjectStore &store);
    void finishImport(const QString &file, const QList<ScriptBlock> &blocks);
    void onRecordingError(const QString &text);
    BlockFacts factsOf(const ScriptBlock &block) const;
    std::optional<std::pair<ScriptBlock, VoiceSegment>> segmentAfter(const QString &recordingID) const;
    std::optional<VoiceSegment> firstUnchosenSegment(const ScriptBlock &block) const;
    std::pair<QString, QString> rememberedSelection(const ProjectStore &store) const;

    void setBlocks(QList<ScriptBlock> blocks);
    void setTakes(QList<Take> takes);
    void setSelection(const QString &blockID, const QString &recordingID);
    void setMessage(const QString &message, Outcome outcome = {});
    void refuse(const QString &message);
    void setLastDeletion(std::optional<DeletedTake> deletion);
    void setBusy(bool busy);
    void setPendingTake(std::optional<Take> take);
    void setProjectName(const QString &name);
    void changeTake(const QUuid &takeID, const std::function<void(Take &)> &change, const QString &done);
    ExportProject exportSnapshot() const;
    void finishExport(const std::variant<ExportSummary, QString> &outcome);
    /// Queues takes for measuring on a worker, one job at a time; `allTakes` when opening.
    void analyse(const QList<Take> &takes, FiguresCache::Scope scope);
    void startAnalysis();
    void publishFigures(qsizetype begin, qsizetype end);
    void stopAnalysis(); // what is queued is dropped and the running job stops after its take

    QString m_baseRoot;
    StudioServices m_services;
    // Declared before the controller, so a take still recording at destruction is stopped
    // before the project is unlocked.
    std::optional<ProjectStore> m_store;
    std::unique_ptr<ProjectLease> m_lease;
    std::unique_ptr<AudioController> m_audio;
    std::unique_ptr<ListenThrough> m_listenThrough; // gone before the controller it plays on

    QList<ScriptBlock> m_blocks;
    QList<Take> m_takes;
    QString m_selectedBlockID;
    QString m_selectedRecordingID;
    QString m_message;
    Outcome m_outcome;
    bool m_busy = false;
    std::optional<Take> m_pendingTake;
    QString m_projectName;

    QHash<QString, BlockFacts> m_blockFacts; // by block id
    QHash<QString, TakeIndex> m_takeIndex;   // by recording id
    std::optional<DeletedTake> m_lastDeletion;
    mutable QHash<QUuid, std::optional<double>> m_durations; // by take id: a take's file never changes
    std::shared_ptr<std::atomic<bool>> m_exportCancel; // shared with the worker; set while exporting
    QFuture<std::variant<ExportSummary, QString>> m_export;
    double m_exportProgress = 0.0;
    QHash<QUuid, TakeFigures> m_figures;                      // by take id
    using MeasuredTake = std::pair<QUuid, TakeFigures>;
    QFutureWatcher<MeasuredTake> *m_analysis = nullptr; // the running job, owned by us
    QList<Take> m_analysisQueue;
    FiguresCache::Scope m_analysisScope = FiguresCache::Scope::someTakes;
    quint64 m_messageSerial = 0; // counts `setMessage` calls
    /// The take just saved whose figures complete the status line, if it still reads the same.
    std::optional<std::pair<QUuid, quint64>> m_figuresNotice;
};

} // namespace tarnwick
