#pragma once

#include "core/Json.h"
#include "core/VoiceSegment.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace tarnwick {

/// One row of the scenario. A changed block is a new value that replaces the old one.
struct ScriptBlock
{
    QString id; // unique and non-empty within a scenario
    QString number;
    std::optional<QString> videoRussian;
    std::optional<QString> videoEnglish;
    QString russian; // spoken text; may hold [voice:...] marker lines
    QString english;
    std::optional<QString> voiceStatus;
    std::optional<QString> voiceNote;

    /// The scenario check: throws StudioError with the first problem, in list order.
    static void validate(const QList<ScriptBlock> &blocks);

    /// Segments cut from the English text, or from the Russian one when the English is blank.
    QList<VoiceSegment> voiceSegments() const;
    bool hasVoiceMarkers() const;
    /// The block's first marker problem as a user-facing text, English text first.
    std::optional<QString> voiceMarkerIssue() const;

    friend bool operator==(const ScriptBlock &, const ScriptBlock &) = default;
};

QJsonObject toJson(const ScriptBlock &block);
ScriptBlock blockFromJson(const QJsonValue &json, const JsonPlace &place);

QJsonArray toJson(const QList<ScriptBlock> &blocks);
/// A scenario file's content: a JSON array of blocks. Errors name `file`, the block and the key.
QList<ScriptBlock> decodeScenario(const QByteArray &bytes, const QString &file);
QByteArray encodeScenario(const QList<ScriptBlock> &blocks);

/// The number of voice segments over all blocks: what the speaker has to record.
qsizetype segmentCount(const QList<ScriptBlock> &blocks);

} // namespace tarnwick
