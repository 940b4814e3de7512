#include "core/Take.h"

#include "core/StudioError.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>
#include <array>
#include <cmath>

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

std::optional<double> parseTrimPoint(const QJsonObject &json, QLatin1StringView key, const JsonPlace &place)
{
    const std::optional<double> seconds = optionalNumber(json, key, place);
    if (seconds && !(*seconds >= 0.0 && std::isfinite(*seconds)))
        throwJsonKeyError(place, key, u"ожидалось число секунд не меньше 0, а не "_s + QString::number(*seconds));
    return seconds;
}

int parseRating(const QJsonObject &json, const JsonPlace &place)
{
    const double rating = optionalNumber(json, "rating"_L1, place).value_or(0.0);
    if (rating != std::floor(rating) || rating < 0 || rating > maxTakeRating)
        throwJsonKeyError(place, "rating"_L1, u"ожидалось целое число от 0 до "_s + QString::number(maxTakeRating)
                                                  + u", а не "_s + QString::number(rating));
    return static_cast<int>(rating);
}

const std::array knownKeys{"id"_L1,     "blockID"_L1, "fileName"_L1, "createdAt"_L1, "selected"_L1,
                           "trimIn"_L1, "trimOut"_L1, "note"_L1,     "rating"_L1};

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
    QJsonObject json = take.otherKeys;
    json.insert(u"id"_s, uuidText(take.id));
    json.insert(u"blockID"_s, take.blockID);
    json.insert(u"fileName"_s, take.fileName);
    json.insert(u"createdAt"_s, created.toString(Qt::ISODate));
    json.insert(u"selected"_s, take.selected);
    // Written only when set, so a manifest without review stays as it was.
    if (take.trimIn)
        json.insert(u"trimIn"_s, *take.trimIn);
    if (take.trimOut)
        json.insert(u"trimOut"_s, *take.trimOut);
    if (!take.note.isEmpty())
        json.insert(u"note"_s, take.note);
    if (take.rating != 0)
        json.insert(u"rating"_s, take.rating);
    return json;
}

Take takeFromJson(const QJsonValue &value, const JsonPlace &place)
{
    const QJsonObject json = requireObject(value, place);
    Take take{
        .id = parseUuid(requireString(json, "id"_L1, place), place),
        .blockID = requireString(json, "blockID"_L1, place),
        .fileName = requireString(json, "fileName"_L1, place),
        .createdAt = parseDate(requireString(json, "createdAt"_L1, place), place),
        .selected = requireBool(json, "selected"_L1, place),
        .trimIn = parseTrimPoint(json, "trimIn"_L1, place),
        .trimOut = parseTrimPoint(json, "trimOut"_L1, place),
        .note = optionalString(json, "note"_L1, place).value_or(QString()),
        .rating = parseRating(json, place),
        .otherKeys = {},
    };
    if (take.trimIn && take.trimOut && *take.trimOut <= *take.trimIn)
        throwJsonKeyError(place, "trimOut"_L1, u"конец обрезки должен быть позже её начала ("_s
                                                   + QString::number(*take.trimIn) + u" с)"_s);
    // The five required keys are there by now; only a larger object can hold others.
    if (json.size() > 5) {
        for (auto it = json.begin(); it != json.end(); ++it) {
            if (std::find(knownKeys.cbegin(), knownKeys.cend(), it.key()) == knownKeys.cend())
                take.otherKeys.insert(it.key(), it.value());
        }
    }
    return take;
}

Take decodeTake(const QByteArray &bytes, const QString &file)
{
    return takeFromJson(parseJson(bytes, file), JsonPlace{file, {}});
}

} // namespace tarnwick
