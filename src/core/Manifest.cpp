#include "core/Manifest.h"

#include <QJsonArray>

using namespace Qt::StringLiterals;

namespace tarnwick {

QJsonObject toJson(const Manifest &manifest)
{
    QJsonArray takes;
    for (const Take &take : manifest.takes)
        takes.append(toJson(take));
    return QJsonObject{{u"takes"_s, takes}};
}

QByteArray encodeManifest(const Manifest &manifest)
{
    return encodeJson(toJson(manifest));
}

Manifest decodeManifest(const QByteArray &bytes, const QString &file)
{
    const JsonPlace place{file, {}};
    const QJsonObject json = requireObject(parseJson(bytes, file), place);
    const QJsonValue takes = requireValue(json, "takes"_L1, place);
    if (!takes.isArray())
        throwJsonKeyError(place, "takes"_L1, u"ожидался массив дублей"_s);

    const QJsonArray array = takes.toArray();
    Manifest manifest;
    manifest.takes.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i)
        manifest.takes.append(takeFromJson(array.at(i), place.at(u"дубль"_s, i)));
    return manifest;
}

} // namespace tarnwick
