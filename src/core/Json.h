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
    QString file;      // the file's path as the user gave it
    QString itemName;  // "блок", "дубль", or empty for the file's top value
    qsizetype index = -1; // 0-based, shown 1-based

    // Composed only when an error is reported: a manifest has thousands of items.
    JsonPlace at(const QString &name, qsizetype itemIndex) const { return JsonPlace{file, name, itemIndex}; }
    QString describe() const; // "Файл «…», блок 3"
};

/// Parses a whole JSON file; a syntax error names the line and column.
QJsonValue parseJson(const QByteArray &bytes, const QString &file);

/// Pretty-printed UTF-8; QJsonObject keeps its keys in ascending order.
QByteArray encodeJson(const QJsonValue &value);

QJsonValue requireValue(const QJsonObject &object, QLatin1StringView key, const JsonPlace &place);
QJsonObject requireObject(const QJsonValue &value, const JsonPlace &place);
QString requireString(const QJsonObject &object, QLatin1StringView key, const JsonPlace &place);
std::optional<QString> optionalString(const QJsonObject &object, QLatin1StringView key, const JsonPlace &place);
std::optional<double> optionalNumber(const QJsonObject &object, QLatin1StringView key, const JsonPlace &place);
bool requireBool(const QJsonObject &object, QLatin1StringView key, const JsonPlace &place);

/// A decoding error at `place` about `key`, for checks the helpers above do not make.
[[noreturn]] void throwJsonKeyError(const JsonPlace &place, QLatin1StringView key, const QString &problem);

} // namespace tarnwick
