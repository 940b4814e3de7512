#include "core/Take.h"

#include "core/StudioError.h"

#include <QRegularExpression>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

QUuid parseUuid(const QString &text, const JsonPlace &place)
{
    static const QRegularExpression canonical(
        u"^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"_s);
    if (!canonical.match(text).hasMatch())
        throwJsonKeyError(place, u"id"_s, u"ожидался UUID вида 8-4-4-4-12 шестнадцатеричных цифр, а не «"_s
                                               + text + u"»"_s);
    return QUuid::fromString(text);
}

QDateTime parseDate(const QString &text, const JsonPlace &place)
{
    // Qt's ISO parser also takes a bare date; the record needs a full date-time with its zone.
    static const QRegularExpression dateTime(
        u"^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}(\\.\\d+)?(Z|[+-]\\d{2}:\\d{2})$"_s);
    QDateTime date;
    if (dateTime.match(text).hasMatch())
        date = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!date.isValid())
        throwJsonKeyError(place, u"createdAt"_s, u"ожидались дата и время ISO 8601 (например, 2025-03-14T09:26:53Z), а не «"_s
                                                      + text + u"»"_s);
    return date.toUTC();
}

} // namespace

QString uuidText(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QJsonObject toJson(const Take &take)
{
    QDateTime created = take.createdAt.toUTC();
    created.setTime(QTime(created.time().hour(), created.time().minute(), created.time().second()));
    return QJsonObject{
        {u"id"_s, uuidText(take.id)},
        {u"blockID"_s, take.blockID},
        {u"fileName"_s, take.fileName},
        {u"createdAt"_s, created.toString(Qt::ISODate)},
        {u"selected"_s, take.selected},
    };
}

Take takeFromJson(const QJsonValue &value, const JsonPlace &place)
{
    const QJsonObject json = requireObject(value, place);
    return Take{
        .id = parseUuid(requireString(json, u"id"_s, place), place),
        .blockID = requireString(json, u"blockID"_s, place),
        .fileName = requireString(json, u"fileName"_s, place),
        .createdAt = parseDate(requireString(json, u"createdAt"_s, place), place),
        .selected = requireBool(json, u"selected"_s, place),
    };
}

Take decodeTake(const QByteArray &bytes, const QString &file)
{
    return takeFromJson(parseJson(bytes, file), JsonPlace{file, {}});
}

} // namespace tarnwick
