#pragma once

#include "core/Json.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <optional>

namespace tarnwick {

/// One recorded WAV file of a voice segment. Only `selected` changes after creation.
struct Take
{
    QUuid id;
    QString blockID;  // the recording id: a block's id, or "voice:" + marker id
    QString fileName; // a bare name inside Recordings/
    QDateTime createdAt;
    bool selected = false;

    friend bool operator==(const Take &, const Take &) = default;
};

/// Canonical upper-case UUID text, as stored and as used in file names.
QString uuidText(const QUuid &id);
/// The UUID of a canonical 8-4-4-4-12 text in either case; nothing for any other shape.
std::optional<QUuid> uuidFromText(const QString &text);

QJsonObject toJson(const Take &take); // drops the fraction of the second
Take takeFromJson(const QJsonValue &json, const JsonPlace &place);

/// The pending record's content: one take object.
Take decodeTake(const QByteArray &bytes, const QString &file);

} // namespace tarnwick
