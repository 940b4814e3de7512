#include "core/VoiceSegment.h"

#include "core/ScriptBlock.h"
#include "support/TestSupport.h"

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

QList<VoiceSegment> parse(const QString &text)
{
    return VoiceSegment::parse(text, u"b7"_s, u"7"_s);
}

ScriptBlock block(const QString &russian, const QString &english)
{
    return spokenBlock(u"b7"_s, u"7"_s, russian, english);
}

} // namespace

// --- cutting a text into segments ---------------------------------------------------

TEST(VoiceSegmentParse, TextWithoutMarkersIsOneWholeUntrimmedSegment)
{
    EXPECT_EQ(parse(u"\nHello\n\n"_s), (QList<VoiceSegment>{{u"b7"_s, u"7"_s, u"\nHello\n\n"_s}}));
}

TEST(VoiceSegmentParse, MarkersCutTheTextAndLeadingTextIsDropped)
{
    EXPECT_EQ(parse(u"dropped\n[voice:a]\nHello\n[voice:b]\nWorld"_s),
              (QList<VoiceSegment>{{u"voice:a"_s, u"a"_s, u"Hello"_s}, {u"voice:b"_s, u"b"_s, u"World"_s}}));
}

TEST(VoiceSegmentParse, MarkerLinesMayBePaddedWithSpacesButNothingElse)
{
    EXPECT_EQ(parse(u" \t[voice:x.1_-]\u00A0 \nText"_s), (QList<VoiceSegment>{{u"voice:x.1_-"_s, u"x.1_-"_s, u"Text"_s}}));
    for (const QString &line : {u"[voice:a b]"_s, u"[voice:]"_s, u"[Voice:a]"_s, u"[voice: a]"_s, u"say [voice:a]"_s,
                               u"[voice:a] now"_s, u"[voice:ы]"_s}) {
        SCOPED_TRACE(line.toStdString());
        EXPECT_EQ(parse(line + u"\nText"_s).constFirst().id, u"b7"_s);
    }
}

TEST(VoiceSegmentParse, EveryLineBreakCharacterEndsALine)
{
    for (const QString &brk : {u"\n"_s, u"\v"_s, u"\f"_s, u"\r"_s, u"\u0085"_s, u"\u2028"_s, u"\u2029"_s}) {
        const QList<VoiceSegment> segments = parse(u"[voice:a]"_s + brk + u"one"_s + brk + u"two"_s);
        ASSERT_EQ(segments.size(), 1);
        EXPECT_EQ(segments[0].text, u"one\ntwo"_s);
    }
    // CR LF is two breaks, so inner line ends come out doubled and the ends are trimmed.
    EXPECT_EQ(parse(u"[voice:a]\r\none\r\ntwo\r\n"_s).constFirst().text, u"one\n\ntwo"_s);
}

TEST(VoiceSegmentParse, EmptyMarkedSegmentsAreDroppedAndAllEmptyFallsBack)
{
    EXPECT_EQ(parse(u"[voice:a]\n[voice:b]\nText"_s), (QList<VoiceSegment>{{u"voice:b"_s, u"b"_s, u"Text"_s}}));
    const QString allEmpty = u"[voice:a]\n  \n[voice:b]"_s;
    EXPECT_EQ(parse(allEmpty), (QList<VoiceSegment>{{u"b7"_s, u"7"_s, allEmpty}}));
    EXPECT_FALSE(block(u""_s, allEmpty).hasVoiceMarkers());
}

// --- which text of a block is cut ---------------------------------------------------

TEST(ScriptBlockSegments, EnglishIsCutUnlessBlank)
{
    const ScriptBlock both = block(u"[voice:r]\nрус"_s, u"[voice:e]\neng"_s);
    EXPECT_EQ(both.voiceSegments().constFirst().id, u"voice:e"_s);
    const ScriptBlock russianOnly = block(u"[voice:r]\nрус"_s, u" \n "_s);
    EXPECT_EQ(russianOnly.voiceSegments().constFirst().id, u"voice:r"_s);
    EXPECT_TRUE(russianOnly.hasVoiceMarkers());
    EXPECT_EQ(russianOnly.voiceMarkerIssue(), std::nullopt);
}

// --- the marker check ---------------------------------------------------------------

TEST(VoiceMarkerIssue, ReportsTheFirstProblemEnglishFirst)
{
    const QString bad = u"Некорректный или пустой маркер [voice:...]"_s;
    const struct
    {
        const char *what;
        QString russian;
        QString english;
        std::optional<QString> issue;
    } cases[] = {
        {"no markers", u"раз"_s, u"one"_s, std::nullopt},
        {"blank line before the first marker", u""_s, u"\n  \n[voice:a]\nHi"_s, std::nullopt},
        {"text before the first marker", u""_s, u"Hi\n[voice:a]\nHo"_s, u"Текст перед первым маркером не допускается"_s},
        {"space in the id", u""_s, u"[voice:a]\nHi\n[voice:a b]\nHo"_s, bad},
        {"empty id", u""_s, u"[voice:]\nHi"_s, bad},
        {"two markers in a row", u""_s, u"[voice:a]\n[voice:b]\nHi"_s, bad},
        {"marker with text on its line", u""_s, u"[voice:a] Hi\n[voice:b]\nHo"_s, bad},
        {"every marker empty", u""_s, u"[voice:a]\n\n[voice:b]\n"_s, bad},
        {"repeated marker", u""_s, u"[voice:a]\nHi\n[voice:a]\nHo"_s, u"Маркеры должны быть уникальными"_s},
        {"different order", u"[voice:a]\nр\n[voice:b]\nр"_s, u"[voice:b]\ne\n[voice:a]\ne"_s,
         u"Маркеры в русском и английском тексте не совпадают"_s},
        {"english without markers", u"[voice:a]\nр"_s, u"plain"_s, u"Маркеры в русском и английском тексте не совпадают"_s},
        {"english blank", u"[voice:a]\nр"_s, u"  "_s, std::nullopt},
        {"english issue wins over russian issue", u"[voice:a]\nр\n[voice:a]\nр"_s, u"Hi\n[voice:a]\nHo"_s,
         u"Текст перед первым маркером не допускается"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(block(c.russian, c.english).voiceMarkerIssue(), c.issue);
    }
}
