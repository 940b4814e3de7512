#include "core/Manifest.h"

#include "support/TestSupport.h"

#include <QJsonDocument>
#include <QTimeZone>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

const QString file = u"/p/manifest.json"_s;

QByteArray manifestWith(const QString &takeJson)
{
    return (u"{\"takes\": ["_s + takeJson + u"]}"_s).toUtf8();
}

const QString goodTake =
    uR"({"id":"3f2504e0-4f89-11d3-9a0c-0305e82c3301","blockID":"b1","fileName":"a.wav","createdAt":"2025-03-14T09:26:53Z","selected":true})"_s;

} // namespace

TEST(ManifestJson, RoundTripKeepsOrderAndWholeSecondDates)
{
    Manifest manifest;
    for (int i = 0; i < 3; ++i)
        manifest.takes.append(sampleTake(u"b"_s + QString::number(i)));
    manifest.takes[1].selected = true;
    manifest.takes[2].trimIn = 0.25;
    manifest.takes[2].trimOut = 3.5;
    manifest.takes[2].note = u"дыхание в конце"_s;
    manifest.takes[2].rating = 3;
    EXPECT_EQ(decodeManifest(encodeManifest(manifest), file), manifest);

    const Manifest read = decodeManifest(manifestWith(goodTake), file);
    ASSERT_EQ(read.takes.size(), 1);
    EXPECT_EQ(read.takes[0].id, QUuid::fromString(u"3F2504E0-4F89-11D3-9A0C-0305E82C3301"_s));
    EXPECT_TRUE(encodeManifest(read).contains("\"createdAt\": \"2025-03-14T09:26:53Z\""));
}

TEST(ManifestJson, DecodingErrorsNameTheTakeAndTheKey)
{
    const auto withKey = [](const QString &key, const QString &value) {
        QJsonObject take = QJsonDocument::fromJson(goodTake.toUtf8()).object();
        if (value.isNull())
            take.remove(key);
        else
            take.insert(key, QJsonDocument::fromJson((u"["_s + value + u"]"_s).toUtf8()).array().at(0));
        return QString::fromUtf8(QJsonDocument(take).toJson(QJsonDocument::Compact));
    };
    const struct
    {
        QByteArray json;
        QString message;
    } cases[] = {
        {"{}", u"Файл «/p/manifest.json»: нет ключа «takes»"_s},
        {"[]", u"Файл «/p/manifest.json»: ожидался объект JSON, а не массив"_s},
        {"{\"takes\": {}}", u"Файл «/p/manifest.json»: ключ «takes»: ожидался массив дублей"_s},
        {manifestWith(goodTake + u","_s + withKey(u"selected"_s, {})),
         u"Файл «/p/manifest.json», дубль 2: нет ключа «selected»"_s},
        {manifestWith(withKey(u"selected"_s, u"\"yes\""_s)),
         u"Файл «/p/manifest.json», дубль 1: ключ «selected»: ожидалось true или false, а не строка"_s},
        {manifestWith(withKey(u"id"_s, u"\"{3f2504e0-4f89-11d3-9a0c-0305e82c3301}\""_s)),
         u"Файл «/p/manifest.json», дубль 1: ключ «id»: ожидался UUID вида 8-4-4-4-12 шестнадцатеричных цифр, а не «{3f2504e0-4f89-11d3-9a0c-0305e82c3301}»"_s},
        {manifestWith(withKey(u"createdAt"_s, u"\"вчера\""_s)),
         u"Файл «/p/manifest.json», дубль 1: ключ «createdAt»: ожидались дата и время ISO 8601 (например, 2025-03-14T09:26:53Z), а не «вчера»"_s},
        {manifestWith(withKey(u"createdAt"_s, u"\"2025-03-14\""_s)),
         u"Файл «/p/manifest.json», дубль 1: ключ «createdAt»: ожидались дата и время ISO 8601 (например, 2025-03-14T09:26:53Z), а не «2025-03-14»"_s},
        {manifestWith(withKey(u"createdAt"_s, u"\"2025-02-30T10:00:00Z\""_s)),
         u"Файл «/p/manifest.json», дубль 1: ключ «createdAt»: ожидались дата и время ISO 8601 (например, 2025-03-14T09:26:53Z), а не «2025-02-30T10:00:00Z»"_s},
        {manifestWith(withKey(u"trimIn"_s, u"\"1\""_s)),
         u"Файл «/p/manifest.json», дубль 1: ключ «trimIn»: ожидалось число, а не строка"_s},
        {manifestWith(withKey(u"trimOut"_s, u"-0.5"_s)),
         u"Файл «/p/manifest.json», дубль 1: ключ «trimOut»: ожидалось число секунд не меньше 0, а не -0.5"_s},
        {manifestWith(withKey(u"trimIn"_s, u"2"_s).replace(u"}"_s, u",\"trimOut\":2}"_s)),
         u"Файл «/p/manifest.json», дубль 1: ключ «trimOut»: конец обрезки должен быть позже её начала (2 с)"_s},
        {manifestWith(withKey(u"rating"_s, u"4"_s)),
         u"Файл «/p/manifest.json», дубль 1: ключ «rating»: ожидалось целое число от 0 до 3, а не 4"_s},
        {manifestWith(withKey(u"rating"_s, u"1.5"_s)),
         u"Файл «/p/manifest.json», дубль 1: ключ «rating»: ожидалось целое число от 0 до 3, а не 1.5"_s},
        {manifestWith(withKey(u"note"_s, u"7"_s)),
         u"Файл «/p/manifest.json», дубль 1: ключ «note»: ожидалась строка, а не число"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.json.toStdString());
        EXPECT_THROW_MESSAGE(decodeManifest(c.json, file), c.message);
    }
}

TEST(ManifestJson, KeysOfALaterVersionSurviveASave)
{
    QString take = goodTake; // its id upper-cased, as written
    take.replace(u"3f2504e0-4f89-11d3-9a0c-0305e82c3301"_s, u"3F2504E0-4F89-11D3-9A0C-0305E82C3301"_s);
    take.replace(u"\"selected\":true"_s, u"\"selected\":true,\"loudness\":{\"lufs\":-20.5},\"zz\":[1]"_s);
    const Manifest read = decodeManifest(manifestWith(take), file);
    const QJsonObject written = QJsonDocument::fromJson(encodeManifest(read)).object();
    const QJsonObject original = QJsonDocument::fromJson(manifestWith(take)).object();
    EXPECT_EQ(written, original);
}

TEST(ManifestJson, OffsetDatesAreReadAsTheSameInstant)
{
    QString take = goodTake;
    take.replace(u"2025-03-14T09:26:53Z"_s, u"2025-03-14T12:26:53.5+03:00"_s);
    const Take read = decodeManifest(manifestWith(take), file).takes.constFirst();
    EXPECT_EQ(toJson(read).value(u"createdAt"_s).toString(), u"2025-03-14T09:26:53Z"_s);
}
