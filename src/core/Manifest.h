#pragma once

#include "core/Take.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace tarnwick {

/// The stored list of takes, in commit order.
struct Manifest
{
    QList<Take> takes;

    friend bool operator==(const Manifest &, const Manifest &) = default;
};

QJsonObject toJson(const Manifest &manifest);
QByteArray encodeManifest(const Manifest &manifest);
/// Errors name `file`, the take (1-based) and the key.
Manifest decodeManifest(const QByteArray &bytes, const QString &file);

} // namespace tarnwick
