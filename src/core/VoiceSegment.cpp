#include "core/VoiceSegment.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace markers {

namespace {

bool isLineBreak(QChar ch)
{
    switch (ch.unicode()) {
    case u'\n':
    case u'\v':
    case u'\f':
    case u'\r':
    case 0x0085:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

bool isSpace(QChar ch)
{
    return ch == u'\t' || ch.category() == QChar::Separator_Space;
}

} // namespace

QStringList splitLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isLineBreak(text.at(i))) {
            lines.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    lines.append(text.mid(start));
    return lines;
}

QString trimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isSpace(text.at(begin)))
        ++begin;
    while (end > begin && isSpace(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

bool isBlank(const QString &text)
{
    return text.trimmed().isEmpty();
}

std::optional<QString> markerID(const QString &line)
{
    static const QRegularExpression validID(u"^[A-Za-z0-9._-]+$"_s);
    const QString trimmed = trimSpaces(line);
    if (!trimmed.startsWith(u"[voice:") || !trimmed.endsWith(u']'))
        return std::nullopt;
    const QString id = trimmed.mid(7, trimmed.size() - 8);
    if (id.isEmpty() || !validID.match(id).hasMatch())
        return std::nullopt;
    return id;
}

} // namespace markers

QList<VoiceSegment> VoiceSegment::parse(const QString &text, const QString &fallbackID, const QString &fallbackLabel)
{
    QList<VoiceSegment> result;
    std::optional<QString> current;
    QStringList currentLines;

    const auto appendCurrent = [&] {
        if (!current)
            return;
        const QString body = currentLines.join(u'\n').trimmed();
        // An empty marked segment is dropped here; the marker check reports it.
        if (!body.isEmpty())
            result.append(VoiceSegment{voicePrefix.toString() + *current, *current, body});
    };

    for (const QString &line : markers::splitLines(text)) {
        if (const std::optional<QString> id = markers::markerID(line)) {
            appendCurrent();
            current = id;
            currentLines.clear();
        } else if (current) {
            currentLines.append(line);
        }
    }
    appendCurrent();

    if (result.isEmpty())
        return {VoiceSegment{fallbackID, fallbackLabel, text}};
    return result;
}

} // namespace tarnwick
