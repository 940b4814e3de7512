#pragma once

#include "core/Json.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace tarnwick {

/// One recorded WAV file of a voice segment. After creation only `selected` and the review
/// keys (trim points, note, rating) change; the file itself never does.
struct Take
{
    QUuid id;
    QString blockID;  // the recording id: a block's id, or "voice:" + marker id
    QString fileName; // a bare name inside Recordings/
    QDateTime createdAt;
    bool selected = false;
    // Initialised here so that records built by name may leave out the review keys.
    std::optional<double> trimIn = std::nullopt;  // seconds into the file; none = automatic
    std::optional<double> trimOut = std::nullopt; // seconds into the file; none = automatic
    QString note = {};
    int rating = 0; // 0 to 3
    QJsonObject otherKeys = {}; // keys a later version wrote, kept so a save here does not drop them

    friend bool operator==(const Take &, const Take &) = default;
};

/// Canonical upper-case UUID text, as stored and as used in file names.
QString uuidText(const QUuid &id);
/// The UUID of a canonical 8-4-4-4-12 text in either case; nothing for any other shape.
std::optional<QUuid> uuidFromText(const QString &text);

inline constexpr int maxTakeRating = 3;

QJsonObject toJson(const Take &take); // drops the fraction of the second
/// Optional keys may be absent; unknown keys are kept in `otherKeys`.
Take takeFromJson(const QJsonValue &json, const JsonPlace &place);

/// The pending record's content: one take object.
Take decodeTake(const QByteArray &bytes, const QString &file);

} // namespace tarnwick
