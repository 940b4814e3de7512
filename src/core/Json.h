#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

namespace tarnwick {

/// Where a JSON value came from, so a decoding error can name the file and the item.
struct JsonPlace
{
    QString file; // the file's path as the user gave it
    QString item; // "блок 3", "дубль 2", or empty for the file's top value

    JsonPlace at(const QString &itemName, qsizetype index) const; // index is 0-based, shown 1-based
    QString describe() const;                                     // "Файл «…», блок 3"
};

/// Parses a whole JSON file; a syntax error names the line and column.
QJsonValue parseJson(const QByteArray &bytes, const QString &file);

/// Pretty-printed UTF-8; QJsonObject keeps its keys in ascending order.
QByteArray encodeJson(const QJsonValue &value);

QJsonValue requireValue(const QJsonObject &object, const QString &key, const JsonPlace &place);
QJsonObject requireObject(const QJsonValue &value, const JsonPlace &place);
QString requireString(const QJsonObject &object, const QString &key, const JsonPlace &place);
std::optional<QString> optionalString(const QJsonObject &object, const QString &key, const JsonPlace &place);
bool requireBool(const QJsonObject &object, const QString &key, const JsonPlace &place);

/// A decoding error at `place` about `key`, for checks the helpers above do not make.
[[noreturn]] void throwJsonKeyError(const JsonPlace &place, const QString &key, const QString &problem);

} // namespace tarnwick
