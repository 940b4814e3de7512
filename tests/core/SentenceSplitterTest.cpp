#include "core/SentenceSplitter.h"
#include "support/TestSupport.h"

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

ScriptBlock blockWith(const QString &id, const QString &russian, const QString &english)
{
    ScriptBlock block = sampleBlock(id, u"7"_s);
    block.russian = russian;
    block.english = english;
    block.videoRussian = u"Экран"_s;
    block.voiceNote = u"спокойно"_s;
    return block;
}

const QString russianProse =
    u"Откройте главное окно, т. е. список блоков, и выберите первый блок. Слева видны номер, текст "
    "и статус, справа кнопки записи и т. д. Пришёл проф. Иванов и сказал: «Начинаем!» Стоимость "
    "подписки 3.50 евро в месяц. Подождите... Запись начнётся сама."_s;

const QString englishProse =
    u"Open the main window, e.g. the list of blocks, and choose the first block. Mr. Smith reads the "
    "intro slowly and clearly. The plan costs 3.50 euros a month. He says \"press Record.\" and waits. "
    "\"Ready?\" He nods. Wait... The recording starts by itself."_s;

} // namespace

// --- sentences -------------------------------------------------------------------------

TEST(SentenceSplitterTest, RussianProseKeepsAbbreviationsNumbersAndQuotesInsideSentences)
{
    EXPECT_EQ(SentenceSplitter::sentences(russianProse),
              (QStringList{u"Откройте главное окно, т. е. список блоков, и выберите первый блок."_s,
                           u"Слева видны номер, текст и статус, справа кнопки записи и т. д."_s,
                           u"Пришёл проф. Иванов и сказал: «Начинаем!»"_s,
                           u"Стоимость подписки 3.50 евро в месяц."_s,
                           u"Подождите..."_s,
                           u"Запись начнётся сама."_s}));
}

TEST(SentenceSplitterTest, EnglishProseKeepsTitlesAndAbbreviationsInsideSentences)
{
    EXPECT_EQ(SentenceSplitter::sentences(englishProse),
              (QStringList{u"Open the main window, e.g. the list of blocks, and choose the first block."_s,
                           u"Mr. Smith reads the intro slowly and clearly."_s,
                           u"The plan costs 3.50 euros a month."_s,
                           u"He says \"press Record.\" and waits."_s,
                           u"\"Ready?\""_s,
                           u"He nods."_s,
                           u"Wait..."_s,
                           u"The recording starts by itself."_s}));
}

TEST(SentenceSplitterTest, SentencesAreTrimmedAndBlankOnesDropped)
{
    const struct
    {
        const char *name;
        QString text;
        QStringList sentences;
    } cases[] = {
        {"empty", u""_s, {}},
        {"only white space", u" \n\t\u2028 "_s, {}},
        {"short text without a reliable language", u"Мама мыла раму. Папа читал."_s,
         {u"Мама мыла раму."_s, u"Папа читал."_s}},
        {"line breaks between", u"\n\n  Первое предложение.  \n\n\n  Второе предложение!\n"_s,
         {u"Первое предложение."_s, u"Второе предложение!"_s}},
        {"inner spacing kept", u"Один  пробел\tи табуляция. Конец."_s,
         {u"Один  пробел\tи табуляция."_s, u"Конец."_s}},
        {"no final stop", u"Hello there. And then"_s, {u"Hello there."_s, u"And then"_s}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SentenceSplitter::sentences(c.text), c.sentences);
    }
}

// --- split -----------------------------------------------------------------------------

TEST(SentenceSplitterTest, SplitPairsSentencesUnderSharedMarkersAndKeepsOtherFields)
{
    const ScriptBlock block = blockWith(u"12"_s, u"Первая фраза. Вторая фраза."_s, u"First line. Second line."_s);
    ScriptBlock expected = block;
    expected.russian = u"[voice:12-1]\nПервая фраза.\n\n[voice:12-2]\nВторая фраза."_s;
    expected.english = u"[voice:12-1]\nFirst line.\n\n[voice:12-2]\nSecond line."_s;
    const ScriptBlock result = SentenceSplitter::split(block, {});
    EXPECT_EQ(result, expected);
    EXPECT_NO_THROW(ScriptBlock::validate({result}));
}

TEST(SentenceSplitterTest, SplitOfOneLanguageLeavesTheOtherEmpty)
{
    const ScriptBlock result =
        SentenceSplitter::split(blockWith(u"b"_s, u"Раз. Два. Три."_s, u"  \n "_s), {});
    EXPECT_EQ(result.russian, u"[voice:b-1]\nРаз.\n\n[voice:b-2]\nДва.\n\n[voice:b-3]\nТри."_s);
    EXPECT_EQ(result.english, u""_s);
    EXPECT_NO_THROW(ScriptBlock::validate({result}));
}

TEST(SentenceSplitterTest, SplitRefusesWhatCannotBePaired)
{
    const QString single = u"Блок 7 содержит одно предложение, разбивка не нужна"_s;
    const struct
    {
        const char *name;
        QString russian;
        QString english;
        QString message;
    } cases[] = {
        {"two against three", u"Раз. Два."_s, u"One. Two. Three."_s,
         u"Блок 7: предложений в русском тексте 2, в английском 3. Разбейте вручную маркерами [voice:...]"_s},
        {"three against one", u"Раз. Два. Три."_s, u"One."_s,
         u"Блок 7: предложений в русском тексте 3, в английском 1. Разбейте вручную маркерами [voice:...]"_s},
        {"one each", u"Одно."_s, u"One."_s, single},
        {"one and none", u"Одно предложение."_s, u""_s, single},
        {"both empty", u""_s, u" "_s, single},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW_MESSAGE(SentenceSplitter::split(blockWith(u"b"_s, c.russian, c.english), {}), c.message);
    }
}

TEST(SentenceSplitterTest, SplitOfASplitBlockStartsFromItsPlainText)
{
    const ScriptBlock once = SentenceSplitter::split(blockWith(u"9"_s, u"Раз. Два."_s, u"One. Two."_s), {});
    ScriptBlock edited = once;
    edited.russian += u" Три."_s;
    edited.english += u" Three."_s;
    const ScriptBlock twice = SentenceSplitter::split(edited, {});
    EXPECT_EQ(twice.russian, u"[voice:9-1]\nРаз.\n\n[voice:9-2]\nДва.\n\n[voice:9-3]\nТри."_s);
    EXPECT_EQ(twice.english, u"[voice:9-1]\nOne.\n\n[voice:9-2]\nTwo.\n\n[voice:9-3]\nThree."_s);
}

TEST(SentenceSplitterTest, MarkerIDsComeFromTheBlockIDAndAvoidTakenOnes)
{
    const struct
    {
        const char *name;
        QString id;
        QSet<QString> taken;
        QString firstTwo; // the two ids, comma-separated
    } cases[] = {
        {"plain", u"5"_s, {}, u"5-1,5-2"_s},
        {"both taken by another block", u"5"_s, {u"voice:5-1"_s, u"voice:5-2"_s}, u"5-1-2,5-2-2"_s},
        {"suffix taken too", u"5"_s, {u"voice:5-1"_s, u"voice:5-1-2"_s, u"voice:5-1-3"_s}, u"5-1-4,5-2"_s},
        {"bare ids are not segment ids", u"5"_s, {u"5-1"_s}, u"5-1,5-2"_s},
        {"taken id equals the next fresh one", u"5"_s, {u"voice:5-2"_s}, u"5-1,5-2-2"_s},
        {"Cyrillic, space, slash", u"Блок 4/а"_s, {}, u"4-1,4-2"_s},
        {"dots and hyphens trimmed, inner runs kept", u"..a b__c.-"_s, {}, u"a-b__c-1,a-b__c-2"_s},
        {"only hyphens", u"---"_s, {}, u"line-1,line-2"_s},
        {"only disallowed characters", u"Ёж!"_s, {}, u"line-1,line-2"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const ScriptBlock result = SentenceSplitter::split(blockWith(c.id, u""_s, u"One. Two."_s), c.taken);
        const QStringList ids = c.firstTwo.split(u',');
        EXPECT_EQ(result.english, u"[voice:"_s + ids[0] + u"]\nOne.\n\n[voice:"_s + ids[1] + u"]\nTwo."_s);
    }
}
