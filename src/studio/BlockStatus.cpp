#include "studio/BlockStatus.h"

using namespace Qt::StringLiterals;

namespace tarnwick {

BlockStatus BlockStatus::of(const StatusFacts &facts)
{
    if (facts.faultyMarkup)
        return {StatusKind::faultyMarkup, {}};
    if (facts.recordingHere)
        return {StatusKind::recording, {}};
    if (facts.marked && facts.everySegmentChosen)
        return {StatusKind::approved, {}};
    if (facts.marked && facts.anySegmentTake)
        return {StatusKind::inProgress, {}};
    // Takes recorded for the whole block before it was marked still count for it.
    if (facts.blockChosen)
        return {StatusKind::approved, {}};
    if (facts.blockTake)
        return {StatusKind::hasTakes, {}};
    if (facts.voiceStatus && !facts.voiceStatus->isEmpty())
        return {StatusKind::stored, *facts.voiceStatus};
    return {StatusKind::notRecorded, {}};
}

StoredStatus storedStatus(const std::optional<QString> &voiceStatus)
{
    if (!voiceStatus || voiceStatus->isEmpty())
        return StoredStatus::none;
    if (*voiceStatus == u"Озвучено")
        return StoredStatus::voiced;
    if (*voiceStatus == u"Проверить и обрезать")
        return StoredStatus::toCheck;
    if (*voiceStatus == u"Нужно записать")
        return StoredStatus::toRecord;
    if (*voiceStatus == u"Нужно перезаписать")
        return StoredStatus::toRerecord;
    return StoredStatus::other;
}

QString statusText(const BlockStatus &status)
{
    switch (status.kind) {
    case StatusKind::faultyMarkup:
        return u"Ошибка разметки"_s;
    case StatusKind::recording:
        return u"Запись"_s;
    case StatusKind::approved:
        return u"Утверждено"_s;
    case StatusKind::inProgress:
        return u"В работе"_s;
    case StatusKind::hasTakes:
        return u"Есть дубли"_s;
    case StatusKind::stored:
        return status.stored;
    case StatusKind::notRecorded:
        break;
    }
    return u"Не записано"_s;
}

bool isDone(const BlockStatus &status)
{
    return status.kind == StatusKind::approved
        || (status.kind == StatusKind::stored && storedStatus(status.stored) == StoredStatus::voiced);
}

bool needsRecording(const BlockStatus &status)
{
    if (status.kind == StatusKind::stored) {
        const StoredStatus stored = storedStatus(status.stored);
        return stored == StoredStatus::toRecord || stored == StoredStatus::toRerecord;
    }
    return status.kind == StatusKind::notRecorded;
}

bool awaitsTake(const BlockStatus &status)
{
    if (isDone(status) || status.kind == StatusKind::faultyMarkup)
        return false;
    return status.kind != StatusKind::stored || storedStatus(status.stored) != StoredStatus::toCheck;
}

StatusTone tone(const BlockStatus &status)
{
    switch (status.kind) {
    case StatusKind::approved:
        return StatusTone::done;
    case StatusKind::inProgress:
    case StatusKind::hasTakes:
        return StatusTone::working;
    case StatusKind::faultyMarkup:
    case StatusKind::recording:
    case StatusKind::notRecorded:
        return StatusTone::toDo;
    case StatusKind::stored:
        break;
    }
    switch (storedStatus(status.stored)) {
    case StoredStatus::voiced:
        return StatusTone::done;
    case StoredStatus::toCheck:
        return StatusTone::working;
    case StoredStatus::toRecord:
    case StoredStatus::toRerecord:
        return StatusTone::toDo;
    case StoredStatus::none:
    case StoredStatus::other:
        break;
    }
    return StatusTone::other;
}

} // namespace tarnwick
