#include "core/ScriptBlock.h"

#include "core/StudioError.h"

#include <QJsonArray>
#include <QSet>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

struct TextMarkers
{
    std::optional<QString> issue;
    QStringList ids; // the marked segments' ids, in text order
};

TextMarkers checkMarkers(const QString &text, const ScriptBlock &block)
{
    const QStringList lines = markers::splitLines(text);
    qsizetype markerLikeLines = 0;
    for (const QString &line : lines) {
        if (line.contains(u"[voice:"))
            ++markerLikeLines;
    }

    TextMarkers result;
    if (markerLikeLines == 0)
        return result;
    for (const VoiceSegment &segment : VoiceSegment::parse(text, block.id, block.number)) {
        if (segment.id.startsWith(voicePrefix))
            result.ids.append(segment.id);
    }

    for (const QString &line : lines) {
        const QString trimmed = markers::trimSpaces(line);
        if (trimmed.isEmpty())
            continue;
        if (!trimmed.startsWith(u"[voice:")) {
            result.issue = u"Текст перед первым маркером не допускается"_s;
            return result;
        }
        break;
    }
    if (markerLikeLines != result.ids.size()) {
        result.issue = u"Некорректный или пустой маркер [voice:...]"_s;
        return result;
    }
    if (QSet<QString>(result.ids.begin(), result.ids.end()).size() != result.ids.size())
        result.issue = u"Маркеры должны быть уникальными"_s;
    return result;
}

void putOptional(QJsonObject &json, const QString &key, const std::optional<QString> &value)
{
    if (value)
        json.insert(key, *value);
}

} // namespace

void ScriptBlock::validate(const QList<ScriptBlock> &blocks)
{
    if (blocks.isEmpty())
        throw StudioError(u"Сценарий пуст"_s);

    QSet<QString> blockIDs;
    QSet<QString> segmentIDs;
    for (const ScriptBlock &block : blocks) {
        if (block.id.isEmpty() || blockIDs.contains(block.id))
            throw StudioError(u"Идентификаторы блоков должны быть непустыми и уникальными"_s);
        blockIDs.insert(block.id);

        if (markers::isBlank(block.russian) && markers::isBlank(block.english))
            throw StudioError(u"Блок "_s + block.number + u" не содержит текста"_s);

        if (const std::optional<QString> issue = block.voiceMarkerIssue())
            throw StudioError(u"Блок "_s + block.number + u": "_s + *issue);

        for (const VoiceSegment &segment : block.voiceSegments()) {
            if (segmentIDs.contains(segment.id))
                throw StudioError(u"Повтор идентификатора реплики: "_s + segment.id);
            segmentIDs.insert(segment.id);
        }
    }
}

QList<VoiceSegment> ScriptBlock::voiceSegments() const
{
    const QString &source = markers::isBlank(english) ? russian : english;
    return VoiceSegment::parse(source, id, number);
}

bool ScriptBlock::hasVoiceMarkers() const
{
    return voiceSegments().constFirst().id.startsWith(voicePrefix);
}

std::optional<QString> ScriptBlock::voiceMarkerIssue() const
{
    std::optional<QStringList> englishIDs;
    std::optional<QStringList> russianIDs;
    for (const auto &[text, ids] : {std::pair{&english, &englishIDs}, std::pair{&russian, &russianIDs}}) {
        if (markers::isBlank(*text))
            continue;
        TextMarkers found = checkMarkers(*text, *this);
        if (found.issue)
            return found.issue;
        *ids = std::move(found.ids);
    }
    if (englishIDs && russianIDs && *englishIDs != *russianIDs)
        return u"Маркеры в русском и английском тексте не совпадают"_s;
    return std::nullopt;
}

QJsonObject toJson(const ScriptBlock &block)
{
    QJsonObject json{
        {u"id"_s, block.id},
        {u"number"_s, block.number},
        {u"russian"_s, block.russian},
        {u"english"_s, block.english},
    };
    putOptional(json, u"videoRussian"_s, block.videoRussian);
    putOptional(json, u"videoEnglish"_s, block.videoEnglish);
    putOptional(json, u"voiceStatus"_s, block.voiceStatus);
    putOptional(json, u"voiceNote"_s, block.voiceNote);
    return json;
}

ScriptBlock blockFromJson(const QJsonValue &value, const JsonPlace &place)
{
    const QJsonObject json = requireObject(value, place);
    return ScriptBlock{
        .id = requireString(json, "id"_L1, place),
        .number = requireString(json, "number"_L1, place),
        .videoRussian = optionalString(json, "videoRussian"_L1, place),
        .videoEnglish = optionalString(json, "videoEnglish"_L1, place),
        .russian = requireString(json, "russian"_L1, place),
        .english = requireString(json, "english"_L1, place),
        .voiceStatus = optionalString(json, "voiceStatus"_L1, place),
        .voiceNote = optionalString(json, "voiceNote"_L1, place),
    };
}

QList<ScriptBlock> decodeScenario(const QByteArray &bytes, const QString &file)
{
    const QJsonValue document = parseJson(bytes, file);
    const JsonPlace place{file, {}};
    if (!document.isArray())
        throw StudioError(place.describe() + u": ожидался массив блоков, а не объект"_s);

    const QJsonArray array = document.toArray();
    QList<ScriptBlock> blocks;
    blocks.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i)
        blocks.append(blockFromJson(array.at(i), place.at(u"блок"_s, i)));
    return blocks;
}

QJsonArray toJson(const QList<ScriptBlock> &blocks)
{
    QJsonArray array;
    for (const ScriptBlock &block : blocks)
        array.append(toJson(block));
    return array;
}

QByteArray encodeScenario(const QList<ScriptBlock> &blocks)
{
    return encodeJson(toJson(blocks));
}

qsizetype segmentCount(const QList<ScriptBlock> &blocks)
{
    qsizetype count = 0;
    for (const ScriptBlock &block : blocks)
        count += block.voiceSegments().size();
    return count;
}

} // namespace tarnwick
