#include "core/Json.h"

#include "core/StudioError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

QString parseErrorReason(QJsonParseError::ParseError error)
{
    switch (error) {
    case QJsonParseError::NoError:
        return u"ошибки нет"_s;
    case QJsonParseError::UnterminatedObject:
        return u"объект не закрыт скобкой «}»"_s;
    case QJsonParseError::MissingNameSeparator:
        return u"после ключа нет двоеточия"_s;
    case QJsonParseError::UnterminatedArray:
        return u"массив не закрыт скобкой «]»"_s;
    case QJsonParseError::MissingValueSeparator:
        return u"между элементами нет запятой"_s;
    case QJsonParseError::IllegalValue:
        return u"недопустимое значение"_s;
    case QJsonParseError::TerminationByNumber:
        return u"файл обрывается на числе"_s;
    case QJsonParseError::IllegalNumber:
        return u"недопустимое число"_s;
    case QJsonParseError::IllegalEscapeSequence:
        return u"недопустимая escape-последовательность в строке"_s;
    case QJsonParseError::IllegalUTF8String:
        return u"текст не в кодировке UTF-8"_s;
    case QJsonParseError::UnterminatedString:
        return u"строка не закрыта кавычкой"_s;
    case QJsonParseError::MissingObject:
        return u"ожидался объект или массив"_s;
    case QJsonParseError::DeepNesting:
        return u"слишком глубокая вложенность"_s;
    case QJsonParseError::DocumentTooLarge:
        return u"документ слишком велик"_s;
    case QJsonParseError::GarbageAtEnd:
        return u"лишние данные после конца документа"_s;
    }
    return u"неизвестная ошибка разбора"_s;
}

QString typeName(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return u"null"_s;
    case QJsonValue::Bool:
        return u"логическое значение"_s;
    case QJsonValue::Double:
        return u"число"_s;
    case QJsonValue::String:
        return u"строка"_s;
    case QJsonValue::Array:
        return u"массив"_s;
    case QJsonValue::Object:
        return u"объект"_s;
    case QJsonValue::Undefined:
        return u"нет значения"_s;
    }
    return u"неизвестный тип"_s;
}

/// Whether `bytes` end inside a JSON string. Qt reports any input cut off after a key or a
/// value as an unclosed string; this tells that case from a string really left open.
bool endsInsideString(const QByteArray &bytes)
{
    bool inside = false;
    for (qsizetype at = 0; at < bytes.size(); ++at) {
        if (inside && bytes[at] == '\\')
            ++at;
        else if (bytes[at] == '"')
            inside = !inside;
    }
    return inside;
}

} // namespace

QString JsonPlace::describe() const
{
    QString text = u"Файл «"_s + file + u"»"_s;
    if (!itemName.isEmpty())
        text += u", "_s + itemName + u' ' + QString::number(index + 1);
    return text;
}

QJsonValue parseJson(const QByteArray &bytes, const QString &file)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error == QJsonParseError::NoError) {
        if (document.isArray())
            return document.array();
        return document.object();
    }
    // Qt points one byte past the offending token, except at the end of input and for trailing
    // garbage. The offset counts bytes; columns count characters, so decode the line up to it.
    qsizetype at = error.offset;
    if (at > 0 && at < bytes.size() && error.error != QJsonParseError::GarbageAtEnd)
        --at;
    const QByteArray before = bytes.left(at);
    const qsizetype lineStart = before.lastIndexOf('\n') + 1;
    const qsizetype line = before.count('\n') + 1;
    const qsizetype column = QString::fromUtf8(before.mid(lineStart)).size() + 1;
    const bool cutOff = error.error == QJsonParseError::UnterminatedString && error.offset >= bytes.size()
                        && !endsInsideString(bytes);
    const QString reason = cutOff ? u"файл кончается, не закрыв объект или массив"_s
                                  : parseErrorReason(error.error);
    throw StudioError(u"Файл «"_s + file + u"»: ошибка JSON в строке "_s + QString::number(line)
                      + u", столбце "_s + QString::number(column) + u": "_s + reason);
}

QByteArray encodeJson(const QJsonValue &value)
{
    const QJsonDocument document = value.isArray() ? QJsonDocument(value.toArray())
                                                   : QJsonDocument(value.toObject());
    return document.toJson(QJsonDocument::Indented);
}

QJsonValue requireValue(const QJsonObject &object, QLatin1StringView key, const JsonPlace &place)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        throw StudioError(place.describe() + u": нет ключа «"_s + key + u"»"_s);
    return value;
}

void throwJsonKeyError(const JsonPlace &place, QLatin1StringView key, const QString &problem)
{
    throw StudioError(place.describe() + u": ключ «"_s + key + u"»: "_s + problem);
}

QJsonObject requireObject(const QJsonValue &value, const JsonPlace &place)
{
    if (!value.isObject())
        throw StudioError(place.describe() + u": ожидался объект JSON, а не "_s + typeName(value));
    return value.toObject();
}

QString requireString(const QJsonObject &object, QLatin1StringView key, const JsonPlace &place)
{
    const QJsonValue value = requireValue(object, key, place);
    if (!value.isString())
        throwJsonKeyError(place, key, u"ожидалась строка, а не "_s + typeName(value));
    return value.toString();
}

std::optional<QString> optionalString(const QJsonObject &object, QLatin1StringView key, const JsonPlace &place)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isString())
        throwJsonKeyError(place, key, u"ожидалась строка, а не "_s + typeName(value));
    return value.toString();
}

std::optional<double> optionalNumber(const QJsonObject &object, QLatin1StringView key, const JsonPlace &place)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isDouble())
        throwJsonKeyError(place, key, u"ожидалось число, а не "_s + typeName(value));
    return value.toDouble();
}

bool requireBool(const QJsonObject &object, QLatin1StringView key, const JsonPlace &place)
{
    const QJsonValue value = requireValue(object, key, place);
    if (!value.isBool())
        throwJsonKeyError(place, key, u"ожидалось true или false, а не "_s + typeName(value));
    return value.toBool();
}

} // namespace tarnwick
