#pragma once

#include <QString>

#include <optional>

namespace tarnwick {

/// The status of a block as a value. The rules that give it live here; the words that show it
/// come from `statusText` only.
enum class StatusKind { faultyMarkup, recording, approved, inProgress, hasTakes, stored, notRecorded };

/// What the status of a block rests on, gathered by the studio from its takes and the recorder.
struct StatusFacts
{
    bool faultyMarkup = false;
    bool recordingHere = false; // a recording runs for one of the block's segments
    bool marked = false;
    bool everySegmentChosen = false;
    bool anySegmentTake = false;
    bool blockChosen = false; // a chosen take recorded for the block's own id
    bool blockTake = false;
    std::optional<QString> voiceStatus; // the scenario's own status text
};

struct BlockStatus
{
    StatusKind kind = StatusKind::notRecorded;
    QString stored; // the scenario's text, for `stored`

    /// The rules, tried in order; the first that applies decides.
    static BlockStatus of(const StatusFacts &facts);
    bool operator==(const BlockStatus &) const = default;
};

/// The texts a scenario may carry as a block's status that the program acts on.
enum class StoredStatus { none, voiced, toCheck, toRecord, toRerecord, other };
StoredStatus storedStatus(const std::optional<QString> &voiceStatus);

/// The colour family a status is shown in.
enum class StatusTone { done, working, toDo, other };

QString statusText(const BlockStatus &status);
/// Counted by the progress line: approved, or stored as voiced.
bool isDone(const BlockStatus &status);
/// The block still waits for its voice: its texts are shown in full.
bool needsRecording(const BlockStatus &status);
/// The flow still has a take to record here: not done, markup sound, and not a take that only
/// waits to be checked and trimmed.
bool awaitsTake(const BlockStatus &status);
StatusTone tone(const BlockStatus &status);

} // namespace tarnwick
