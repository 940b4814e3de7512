#include "core/ScriptBlock.h"

#include "core/SampleScenario.h"
#include "support/TestSupport.h"

#include <QJsonDocument>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

const QString file = u"/p/scenario.json"_s;

QList<ScriptBlock> decode(const char *json)
{
    return decodeScenario(QByteArray(json), file);
}

} // namespace

// --- JSON form ----------------------------------------------------------------------

TEST(ScriptBlockJson, RoundTripKeepsEveryFieldAndLeavesAbsentOptionalsOut)
{
    ScriptBlock full = sampleBlock(u"b1"_s, u"1а"_s);
    full.videoRussian = u"Экран"_s;
    full.videoEnglish = u"Screen"_s;
    full.voiceStatus = u"Готово"_s;
    full.voiceNote = u"Тише"_s;
    const ScriptBlock bare = sampleBlock(u"b2"_s, u"2"_s);

    const QByteArray bytes = encodeScenario({full, bare});
    EXPECT_EQ(decodeScenario(bytes, file), (QList<ScriptBlock>{full, bare}));

    const QJsonArray written = QJsonDocument::fromJson(bytes).array();
    EXPECT_EQ(written.at(0).toObject().keys(),
              (QStringList{u"english"_s, u"id"_s, u"number"_s, u"russian"_s, u"videoEnglish"_s, u"videoRussian"_s,
                           u"voiceNote"_s, u"voiceStatus"_s}));
    EXPECT_EQ(written.at(1).toObject().keys(), (QStringList{u"english"_s, u"id"_s, u"number"_s, u"russian"_s}));
}

TEST(ScriptBlockJson, DecodingErrorsNameTheFileTheBlockAndTheKey)
{
    const struct
    {
        const char *json;
        QString message;
    } cases[] = {
        {R"([{"id":"a","number":"1","russian":"р","english":"e"},{"id":"b","number":12,"russian":"р","english":"e"}])",
         u"Файл «/p/scenario.json», блок 2: ключ «number»: ожидалась строка, а не число"_s},
        {R"([{"number":"1","russian":"р","english":"e"}])", u"Файл «/p/scenario.json», блок 1: нет ключа «id»"_s},
        {R"([{"id":"a","number":"1","russian":null,"english":"e"}])",
         u"Файл «/p/scenario.json», блок 1: ключ «russian»: ожидалась строка, а не null"_s},
        {R"([1])", u"Файл «/p/scenario.json», блок 1: ожидался объект JSON, а не число"_s},
        {R"({"id":"a"})", u"Файл «/p/scenario.json»: ожидался массив блоков, а не объект"_s},
        {"[\n  {\"id\": \"а\",\n   \"number\" \"1\"}\n]",
         u"Файл «/p/scenario.json»: ошибка JSON в строке 3, столбце 13: после ключа нет двоеточия"_s},
        {"[{\"id\": \"a\", \"russian\": \"Привет\"",
         u"Файл «/p/scenario.json»: ошибка JSON в строке 1, столбце 33: файл кончается, не закрыв объект или массив"_s},
        {"[{\"id\": \"a\", \"russian\": \"При\\\"",
         u"Файл «/p/scenario.json»: ошибка JSON в строке 1, столбце 31: строка не закрыта кавычкой"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_THROW_MESSAGE(decode(c.json), c.message);
    }
}

// --- the scenario check -------------------------------------------------------------

TEST(ScriptBlockValidate, ReportsTheFirstProblemWithItsExactMessage)
{
    const ScriptBlock a = sampleBlock(u"a"_s, u"1"_s);
    const ScriptBlock marked = spokenBlock(u"m"_s, u"7"_s, u"[voice:a]\nраз\n[voice:b]\nдва"_s,
                                      u"[voice:b]\none\n[voice:a]\ntwo"_s);
    const struct
    {
        const char *what;
        QList<ScriptBlock> blocks;
        std::optional<QString> message;
    } cases[] = {
        {"empty scenario", {}, u"Сценарий пуст"_s},
        {"single block", {a}, std::nullopt},
        {"repeated id", {a, sampleBlock(u"a"_s, u"2"_s)}, u"Идентификаторы блоков должны быть непустыми и уникальными"_s},
        {"ids differ in case", {a, sampleBlock(u"A"_s, u"2"_s)}, std::nullopt},
        {"empty id", {sampleBlock(u""_s)}, u"Идентификаторы блоков должны быть непустыми и уникальными"_s},
        {"id of one space", {sampleBlock(u" "_s)}, std::nullopt},
        {"blank russian, english text", {spokenBlock(u"x"_s, u"3"_s, u"   "_s, u"Word"_s)}, std::nullopt},
        {"both blank", {a, spokenBlock(u"x"_s, u"3"_s, u"  \n"_s, u"\t"_s)}, u"Блок 3 не содержит текста"_s},
        {"marker issue", {marked}, u"Блок 7: Маркеры в русском и английском тексте не совпадают"_s},
        {"marker in two blocks",
         {spokenBlock(u"x"_s, u"1"_s, u""_s, u"[voice:intro]\nHi"_s), spokenBlock(u"y"_s, u"2"_s, u""_s, u"[voice:intro]\nHo"_s)},
         u"Повтор идентификатора реплики: voice:intro"_s},
        {"unmarked id equals a marker's segment id",
         {sampleBlock(u"voice:intro"_s), spokenBlock(u"y"_s, u"2"_s, u""_s, u"[voice:intro]\nHo"_s)},
         u"Повтор идентификатора реплики: voice:intro"_s},
        {"id problem comes before text problem",
         {a, spokenBlock(u"a"_s, u"2"_s, u""_s, u""_s)},
         u"Идентификаторы блоков должны быть непустыми и уникальными"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(errorOf([&] { ScriptBlock::validate(c.blocks); }), c.message);
    }
}

