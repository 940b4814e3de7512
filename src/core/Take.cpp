#include "core/Take.h"

#include "core/StudioError.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <array>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

int hexValue(QChar ch)
{
    if (ch >= u'0' && ch <= u'9')
        return ch.unicode() - u'0';
    if (ch >= u'a' && ch <= u'f')
        return ch.unicode() - u'a' + 10;
    if (ch >= u'A' && ch <= u'F')
        return ch.unicode() - u'A' + 10;
    return -1;
}

QUuid parseUuid(const QString &text, const JsonPlace &place)
{
    const std::optional<QUuid> id = uuidFromText(text);
    if (!id)
        throwJsonKeyError(place, "id"_L1, u"ожидался UUID вида 8-4-4-4-12 шестнадцатеричных цифр, а не «"_s
                                              + text + u"»"_s);
    return *id;
}

/// The digits at [from, from + count) as a number, or -1.
int digits(const QString &text, qsizetype from, qsizetype count)
{
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const QChar ch = text.at(i);
        if (ch < u'0' || ch > u'9')
            return -1;
        value = value * 10 + (ch.unicode() - u'0');
    }
    return value;
}

/// The form this program writes, "2025-03-14T09:26:53Z", read without the general parser:
/// a manifest holds thousands of them.
QDateTime parseWrittenForm(const QString &text)
{
    if (text.size() != 20 || text.at(4) != u'-' || text.at(7) != u'-' || text.at(10) != u'T'
        || text.at(13) != u':' || text.at(16) != u':' || text.at(19) != u'Z')
        return {};
    const QDate date(digits(text, 0, 4), digits(text, 5, 2), digits(text, 8, 2));
    const QTime time(digits(text, 11, 2), digits(text, 14, 2), digits(text, 17, 2));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

QDateTime parseDate(const QString &text, const JsonPlace &place)
{
    QDateTime date = parseWrittenForm(text);
    if (date.isValid())
        return date;
    // Also accepted: fractions of a second and numeric offsets. Qt's ISO parser alone would take
    // a bare date too, but the record needs a full date-time with its zone.
    static const QRegularExpression dateTime(
        u"^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}(\\.\\d+)?(Z|[+-]\\d{2}:\\d{2})$"_s);
    if (dateTime.match(text).hasMatch())
        date = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!date.isValid())
        throwJsonKeyError(place, "createdAt"_L1, u"ожидались дата и время ISO 8601 (например, 2025-03-14T09:26:53Z), а не «"_s
                                                      + text + u"»"_s);
    return date.toUTC();
}

} // namespace

std::optional<QUuid> uuidFromText(const QString &text)
{
    // One pass instead of QUuid::fromString, which also takes braces and other shapes and is
    // slow over a manifest of thousands of takes.
    std::array<char, 16> bytes = {};
    if (text.size() != 36)
        return std::nullopt;
    qsizetype digit = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text.at(i) != u'-')
                return std::nullopt;
            continue;
        }
        const int value = hexValue(text.at(i));
        if (value < 0)
            return std::nullopt;
        bytes[digit / 2] = static_cast<char>(bytes[digit / 2] << 4 | value);
        ++digit;
    }
    return QUuid::fromRfc4122(QByteArrayView(bytes.data(), bytes.size()));
}

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
        .id = parseUuid(requireString(json, "id"_L1, place), place),
        .blockID = requireString(json, "blockID"_L1, place),
        .fileName = requireString(json, "fileName"_L1, place),
        .createdAt = parseDate(requireString(json, "createdAt"_L1, place), place),
        .selected = requireBool(json, "selected"_L1, place),
    };
}

Take decodeTake(const QByteArray &bytes, const QString &file)
{
    return takeFromJson(parseJson(bytes, file), JsonPlace{file, {}});
}

} // namespace tarnwick
