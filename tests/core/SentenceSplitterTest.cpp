#include "core/SentenceSplitter.h"
#include "support/TestSupport.h"

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

TEST(SentenceSplitterTest, SentencesEndWhereAReaderEndsThem)
{
    const struct
    {
        const char *name;
        QString text;
        QStringList sentences;
    } cases[] = {
        {"empty", u""_s, {}},
        {"only white space", u" \n\t\u2028 "_s, {}},
        {"trimmed, inner spacing kept, no final stop", u"\n  Один  пробел\tи табуляция.  \n\n Конец"_s,
         {u"Один  пробел\tи табуляция."_s, u"Конец"_s}},
        {"no reliable language", u"Мама мыла раму. Папа читал."_s, {u"Мама мыла раму."_s, u"Папа читал."_s}},
        {"a word ending like an abbreviation", u"Он кивнул. Она ушла к другу. Снег."_s,
         {u"Он кивнул."_s, u"Она ушла к другу."_s, u"Снег."_s}},
        {"Russian abbreviations", u"В г. Москва в 1990-х гг. Жили на ул. Ленина, д. 5, т. е. у св. Анны. См. рис. 3."_s,
         {u"В г. Москва в 1990-х гг. Жили на ул. Ленина, д. 5, т. е. у св. Анны."_s, u"См. рис. 3."_s}},
        {"a unit before a capital", u"Билет стоит 100 руб. Новая фраза. At 5 a.m. Then rain."_s,
         {u"Билет стоит 100 руб."_s, u"Новая фраза."_s, u"At 5 a.m."_s, u"Then rain."_s}},
        {"English abbreviations", u"Dr. Bo of the U.S. Army, e.g. Mr. Li, saw St. Paul at p. 5. We live in the U.S. How?"_s,
         {u"Dr. Bo of the U.S. Army, e.g. Mr. Li, saw St. Paul at p. 5."_s, u"We live in the U.S."_s, u"How?"_s}},
        {"initials", u"Лекцию читал Л. Н. Толстой, затем Л.Н. Толстой. John F. Kennedy met you and I. Did he?"_s,
         {u"Лекцию читал Л. Н. Толстой, затем Л.Н. Толстой."_s, u"John F. Kennedy met you and I."_s,
          u"Did he?"_s}},
        {"ellipses", u"Я не знаю… Может быть, если бы… нет. Wait... Now."_s,
         {u"Я не знаю…"_s, u"Может быть, если бы… нет."_s, u"Wait..."_s, u"Now."_s}},
        {"dialogue dashes", u"— Ты придёшь? — спросил он. — Приду, если смогу. «Куда? – сказала мама. – Домой»."_s,
         {u"— Ты придёшь? — спросил он."_s, u"— Приду, если смогу."_s, u"«Куда? – сказала мама. – Домой»."_s}},
        {"a sentence starting with a number", u"Ему исполнилось сто лет. 31 мая был праздник на ул. 1 Мая."_s,
         {u"Ему исполнилось сто лет."_s, u"31 мая был праздник на ул. 1 Мая."_s}},
        {"quoted exclamations", u"\"Stop!\" he said. \"Ready?\" He nods. She works at Yahoo! in Leeds."_s,
         {u"\"Stop!\" he said."_s, u"\"Ready?\""_s, u"He nods."_s, u"She works at Yahoo! in Leeds."_s}},
        {"lists", u"1. The first item 2. The second item. 4. Пункт. IV. Итоги."_s,
         {u"1. The first item"_s, u"2. The second item."_s, u"4. Пункт."_s, u"IV. Итоги."_s}},
        {"a smiley", u"Было смешно :) Я вспомнила."_s, {u"Было смешно :)"_s, u"Я вспомнила."_s}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SentenceSplitter::sentences(c.text), c.sentences);
    }
}

TEST(SentenceSplitterTest, SplitMarksPairedSentencesOrRefuses)
{
    const QString single = u"Блок 7 содержит одно предложение, разбивка не нужна"_s;
    const struct
    {
        const char *name;
        QString id;
        QString russian;
        QString english;
        QSet<QString> taken;
        QString result; // russian, " | ", english; or the refusal
    } cases[] = {
        {"pairs", u"12"_s, u"Первая. Вторая."_s, u"First. Second."_s, {},
         u"[voice:12-1]\nПервая.\n\n[voice:12-2]\nВторая. | [voice:12-1]\nFirst.\n\n[voice:12-2]\nSecond."_s},
        {"one language empty", u"b"_s, u"Раз. Два. Три."_s, u"  \n "_s, {},
         u"[voice:b-1]\nРаз.\n\n[voice:b-2]\nДва.\n\n[voice:b-3]\nТри. | "_s},
        {"two against three", u"b"_s, u"Раз. Два."_s, u"One. Two. Three."_s, {},
         u"Блок 7: предложений в русском тексте 2, в английском 3. Разбейте вручную маркерами [voice:...]"_s},
        {"one each", u"b"_s, u"Одно."_s, u"One."_s, {}, single},
        {"one and none", u"b"_s, u"Одно предложение."_s, u""_s, {}, single},
        {"both empty", u"b"_s, u""_s, u" "_s, {}, single},
        {"taken by another block", u"5"_s, u""_s, u"One. Two."_s, {u"voice:5-1"_s, u"voice:5-2"_s},
         u" | [voice:5-1-2]\nOne.\n\n[voice:5-2-2]\nTwo."_s},
        {"suffix taken too", u"5"_s, u""_s, u"One. Two."_s, {u"voice:5-1"_s, u"voice:5-1-2"_s, u"5-2"_s},
         u" | [voice:5-1-3]\nOne.\n\n[voice:5-2]\nTwo."_s},
        {"Cyrillic, space, slash", u"Блок 5/а"_s, u""_s, u"One. Two."_s, {},
         u" | [voice:5-1]\nOne.\n\n[voice:5-2]\nTwo."_s},
        {"dots and hyphens trimmed, inner runs kept", u"..a b__c.-"_s, u"Раз. Два."_s, u""_s, {},
         u"[voice:a-b__c-1]\nРаз.\n\n[voice:a-b__c-2]\nДва. | "_s},
        {"nothing left", u"-Ёж-"_s, u""_s, u"One. Two."_s, {}, u" | [voice:line-1]\nOne.\n\n[voice:line-2]\nTwo."_s},
        {"a split block from its plain text", u"9"_s, u"[voice:9-1]\nРаз.\n\n[voice:9-2]\nДва. Три."_s,
         u"[voice:x]\nOne. Two. Three."_s, {}, u"[voice:9-1]\nРаз.\n\n[voice:9-2]\nДва.\n\n[voice:9-3]\nТри. | "
         "[voice:9-1]\nOne.\n\n[voice:9-2]\nTwo.\n\n[voice:9-3]\nThree."_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ScriptBlock block = spokenBlock(c.id, u"7"_s, c.russian, c.english);
        block.voiceNote = u"спокойно"_s;
        ScriptBlock result = block;
        const std::optional<QString> error = errorOf([&] { result = SentenceSplitter::split(block, c.taken); });
        EXPECT_EQ(error.value_or(result.russian + u" | "_s + result.english), c.result);
        if (error)
            continue;
        EXPECT_NO_THROW(ScriptBlock::validate({result}));
        std::tie(result.russian, result.english) = std::tie(block.russian, block.english);
        EXPECT_EQ(result, block); // every other field kept
    }
}
