#include "core/SentenceSplitter.h"

#include "core/StudioError.h"
#include "core/VoiceSegment.h"

#include <QRegularExpression>

#include <unicode/brkiter.h>
#include <unicode/filteredbrk.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <cstdio> // the detector's header uses FILE without including it
#include <cld2/public/compact_lang_det.h>

#include <algorithm>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

enum class Language { Russian, English, Unknown };

/// The text's dominant language. A short text is guessed as English without confidence, so only
/// a reliable answer counts.
Language dominantLanguage(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    bool reliable = false;
    int validPrefix = 0;
    const CLD2::Language language = CLD2::DetectLanguageCheckUTF8(
        utf8.constData(), static_cast<int>(utf8.size()), true, &reliable, &validPrefix);
    if (!reliable)
        return Language::Unknown;
    if (language == CLD2::RUSSIAN)
        return Language::Russian;
    if (language == CLD2::ENGLISH)
        return Language::English;
    return Language::Unknown;
}

/// How firmly a listed abbreviation holds its sentence open.
enum class Holds {
    Always,             // "г. Москва", "Dr. Brown"
    BeforeNumber,       // "д. 5", "p. 55", "100 руб. 50 коп.", but "стоит 100 руб. Новая фраза"
    UnlessOpenerFollows // "the U.S. Army", but "in the U.S. How about you?"
};

// Words with a full stop after which a sentence goes on. Each counts only as a whole word (the
// stop in "кивнул." ends a sentence although "ул." is listed), and a lower-case one also with a
// capital first letter, as at the start of a sentence. Times such as "a.m." are not listed:
// before a capital they end the sentence more often than not.
constexpr QStringView russianAlways[] = {
    u"г.",   u"гг.",  u"св.",   u"ул.",   u"пер.", u"просп.", u"пл.",  u"наб.",  u"пос.", u"пгт.", u"дер.",
    u"оз.",  u"им.",  u"проф.", u"акад.", u"доц.", u"ген.",   u"тов.", u"гр.",   u"Дж.",  u"т. е.", u"т.е.",
    u"т. н.", u"т.н.", u"т. к.", u"т.к.",  u"см.",  u"ср.",    u"рис.", u"табл.", u"напр.",
};
constexpr QStringView russianBeforeNumber[] = {
    u"д.",   u"кв.",  u"корп.", u"стр.", u"с.",   u"п.",   u"пп.",   u"ст.",   u"гл.",  u"т.",   u"ч.",
    u"руб.", u"коп.", u"тыс.",  u"млн.", u"млрд.", u"янв.", u"февр.", u"авг.", u"сент.", u"окт.", u"нояб.",
    u"дек.",
};
constexpr QStringView englishAlways[] = {
    u"Mr.",  u"Mrs.", u"Ms.",  u"Dr.",  u"Prof.", u"St.",  u"Mt.",  u"Messrs.", u"Gen.", u"Col.", u"Capt.",
    u"Lt.",  u"Sgt.", u"Rev.", u"Hon.", u"Gov.",  u"Sen.", u"Rep.", u"vs.",     u"e.g.", u"i.e.", u"cf.",
};
constexpr QStringView englishBeforeNumber[] = {
    u"p.",   u"pp.",  u"no.",  u"Nos.", u"N°.",  u"fig.", u"vol.", u"ch.",  u"sec.",  u"art.", u"para.",
    u"Jan.", u"Feb.", u"Mar.", u"Apr.", u"Jun.", u"Jul.", u"Aug.", u"Sep.", u"Sept.", u"Oct.", u"Nov.",
    u"Dec.",
};
constexpr QStringView englishUnlessOpenerFollows[] = {u"U.S.", u"etc."};

/// Words that open an English sentence far more often than they follow an abbreviation inside
/// one: after "U.S." or "etc." such a word starts a new sentence.
constexpr QStringView englishOpeners[] = {
    u"A",   u"An",  u"The",   u"This",  u"That", u"These", u"Those", u"It",  u"He",      u"She", u"We",
    u"They", u"I",  u"You",   u"There", u"Here", u"What",  u"When",  u"Where", u"Who",   u"Why", u"How",
    u"However", u"But", u"And", u"So",  u"Then", u"If",    u"As",    u"In",  u"On",      u"At",  u"For",
};

struct Exception
{
    QString text;
    Holds holds = Holds::Always;
};

QList<Exception> exceptionsFor(Language language)
{
    QList<Exception> result;
    const auto add = [&](const auto &list, Holds holds) {
        for (const QStringView text : list) {
            result.append({text.toString(), holds});
            if (text.front().isLower())
                result.append({text.front().toUpper() + text.mid(1).toString(), holds});
        }
    };
    if (language != Language::English) {
        add(russianAlways, Holds::Always);
        add(russianBeforeNumber, Holds::BeforeNumber);
    }
    if (language != Language::Russian) {
        add(englishAlways, Holds::Always);
        add(englishBeforeNumber, Holds::BeforeNumber);
        add(englishUnlessOpenerFollows, Holds::UnlessOpenerFollows);
    }
    return result;
}

icu::UnicodeString unicodeOf(QStringView text)
{
    return icu::UnicodeString(reinterpret_cast<const char16_t *>(text.utf16()),
                              static_cast<int32_t>(text.size()));
}

[[noreturn]] void throwIcuError(UErrorCode status)
{
    throw StudioError(u"Не удалось разбить текст на предложения: "_s
                      + QString::fromUtf8(u_errorName(status)));
}

/// The ends of the sentences the iterator finds in `text`, the end of the text included.
std::vector<qsizetype> breaksOf(icu::BreakIterator &iterator, const icu::UnicodeString &text)
{
    iterator.setText(text);
    std::vector<qsizetype> breaks;
    iterator.first();
    for (int32_t end = iterator.next(); end != icu::BreakIterator::DONE; end = iterator.next())
        breaks.push_back(end);
    return breaks;
}

bool isClosing(QChar ch)
{
    return ch == u'"' || ch == u'\'' || ch == u')' || ch == u']' || ch == u'»' || ch == u'”' || ch == u'’';
}

bool isOpening(QChar ch)
{
    return ch == u'"' || ch == u'\'' || ch == u'(' || ch == u'[' || ch == u'«' || ch == u'“' || ch == u'‘';
}

bool isDash(QChar ch)
{
    return ch == u'—' || ch == u'–' || ch == u'-';
}

/// Where the text before `at` ends once trailing white space is dropped.
qsizetype endBefore(QStringView text, qsizetype at)
{
    while (at > 0 && text.at(at - 1).isSpace())
        --at;
    return at;
}

/// Where the next word begins at or after `at`, past white space and opening quotes and brackets.
qsizetype nextWordAt(QStringView text, qsizetype at)
{
    while (at < text.size() && (isOpening(text.at(at)) || text.at(at).isSpace()))
        ++at;
    return at;
}

QChar firstSignificant(QStringView text, qsizetype at)
{
    at = nextWordAt(text, at);
    return at < text.size() ? text.at(at) : QChar();
}

bool opensEnglishSentence(QStringView text, qsizetype at)
{
    qsizetype end = nextWordAt(text, at);
    const qsizetype start = end;
    while (end < text.size() && text.at(end).isLetter())
        ++end;
    const QStringView word = text.mid(start, end - start);
    return std::find(std::begin(englishOpeners), std::end(englishOpeners), word) != std::end(englishOpeners);
}

/// Whether the text up to `end` closes with a listed abbreviation, as a whole word, that holds
/// the sentence open before the text at `next`.
bool endsWithAbbreviation(QStringView text, qsizetype end, qsizetype next, const QList<Exception> &exceptions)
{
    const QStringView before = text.first(end);
    for (const Exception &exception : exceptions) {
        if (!before.endsWith(exception.text))
            continue;
        const qsizetype start = end - exception.text.size();
        if (start > 0 && (text.at(start - 1).isLetterOrNumber() || text.at(start - 1) == u'.'))
            continue;
        switch (exception.holds) {
        case Holds::Always:
            return true;
        case Holds::BeforeNumber:
            if (firstSignificant(text, next).isDigit())
                return true;
            break;
        case Holds::UnlessOpenerFollows:
            if (!opensEnglishSentence(text, next))
                return true;
            break;
        }
    }
    return false;
}

bool isCyrillic(QChar ch)
{
    return ch.script() == QChar::Script_Cyrillic;
}

/// A capital letter standing alone before a full stop at `end`: an initial such as the "Н." of
/// "Л. Н. Толстой" or the "F." of "John F. Kennedy". A pair written together is a pair of
/// initials too ("Л.Н. Толстой", "J.C. Penney"), unless a Latin one ("U.K.", "E.U.") stands
/// before a word that opens sentences. Three or more ("U.S.A.") make an acronym.
bool endsWithInitial(QStringView text, qsizetype end, qsizetype next)
{
    if (end < 2 || text.at(end - 1) != u'.' || !text.at(end - 2).isUpper())
        return false;
    if (end == 2)
        return true;
    const QChar before = text.at(end - 3);
    if (before.isSpace() || isOpening(before))
        return true;
    if (before != u'.' || end < 4 || !text.at(end - 4).isUpper())
        return false;
    if (end > 4 && (text.at(end - 5).isLetter() || text.at(end - 5) == u'.'))
        return false;
    // After a number it is a time or a unit: "at 6 P.M."
    const qsizetype word = endBefore(text, end - 4);
    if (word > 0 && text.at(word - 1).isDigit())
        return false;
    return isCyrillic(text.at(end - 2)) || !opensEnglishSentence(text, next);
}

/// The word before position `end` (exclusive), letters only.
QStringView wordBefore(QStringView text, qsizetype end)
{
    qsizetype start = end;
    while (start > 0 && text.at(start - 1).isLetter())
        --start;
    return text.mid(start, end - start);
}

/// Whether `sentence` is only the number of a list item: "4.", "IV.", "§2.", "8.1.", "1.)".
bool isListNumber(QStringView sentence)
{
    static const QRegularExpression number(u"^§?\\s*(?:\\d+(?:\\.\\d+)*|[IVXLC]+)\\.\\)?$"_s);
    return number.match(sentence).hasMatch();
}

void addBreak(std::vector<qsizetype> &breaks, qsizetype at)
{
    if (at > 0 && !std::binary_search(breaks.begin(), breaks.end(), at))
        breaks.insert(std::lower_bound(breaks.begin(), breaks.end(), at), at);
}

/// Enumerations written inline: "1. … 2. …", "a) … b) …", "• 9. … • 10. …". A marker whose
/// predecessor in the count (same style) stands earlier in the text starts a sentence, and so
/// does that predecessor; no sentence ends right after such a marker.
void splitEnumerations(QStringView text, std::vector<qsizetype> &breaks)
{
    // An optional bullet, a number or a lower-case letter, then ".", ")" or ".)", then a capital.
    static const QRegularExpression marker(
        u"(?:^|(?<=\\s))[•⁃]?\\s*(\\d{1,2}|[a-z])(\\.\\)|\\.|\\))(?=\\s+\\p{Lu})"_s);
    struct Marker
    {
        qsizetype start;
        qsizetype end;
        int value;
        QString style;
    };
    std::vector<Marker> markers;
    for (auto it = marker.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QStringView label = match.capturedView(1);
        const int value = label.front().isDigit() ? label.toInt() : label.front().unicode() - u'a' + 1;
        markers.push_back({match.capturedStart(), match.capturedEnd(), value, match.captured(2)});
    }
    std::vector<const Marker *> listed;
    for (auto it = markers.begin(); it != markers.end(); ++it) {
        const auto previous = std::find_if(std::make_reverse_iterator(it), markers.rend(),
                                           [&](const Marker &m) { return m.style == it->style; });
        if (previous != markers.rend() && previous->value == it->value - 1) {
            if (listed.empty() || listed.back() != &*previous)
                listed.push_back(&*previous);
            listed.push_back(&*it);
        }
    }
    for (const Marker *item : listed) {
        qsizetype body = item->end;
        while (body < text.size() && text.at(body).isSpace())
            ++body;
        std::erase_if(breaks, [&](qsizetype at) { return at > item->start && at <= body; });
        qsizetype start = item->start;
        while (start < text.size() && text.at(start).isSpace())
            ++start;
        addBreak(breaks, start);
    }
}

/// Spaced ellipses as style guides write them: three stops (". . .") leave out words inside a
/// sentence; four after a word ("word. . . . Next") are its full stop and then an ellipsis that
/// opens the next sentence; four after a space ("word . . . . Next") end the sentence.
void placeSpacedEllipses(QStringView text, std::vector<qsizetype> &breaks)
{
    static const QRegularExpression ellipsis(u"\\.(?: \\.){2,}"_s);
    for (auto it = ellipsis.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const qsizetype start = match.capturedStart();
        const qsizetype next = nextWordAt(text, match.capturedEnd());
        std::erase_if(breaks, [&](qsizetype at) { return at > start && at <= next && at < text.size(); });
        if (match.capturedLength() < 7 || next >= text.size() || !text.at(next).isUpper())
            continue;
        const bool attached = start > 0 && !text.at(start - 1).isSpace();
        addBreak(breaks, attached ? start + 2 : next);
    }
}

/// The post-pass over ICU's breaks. Each rule fixes one kind of miss that the sentence rules of
/// Unicode make in edited prose:
/// - a break after "!" or "?" before a lower-case letter, or with no space after it, goes
///   ("\"Stop!\" he said.", "Yahoo! in Leeds");
/// - a break after an initial before a capital goes ("Л. Н. Толстой", "John F. Kennedy"),
///   except after the English "I" following a lower-case word ("you and I. Did");
/// - a list number alone ("4.", "IV.") stays with its item;
/// - a break is added after an ellipsis ("…" or "...") before a capital;
/// - a break is added before a dialogue dash that follows ".", "?", "!" or "…" and opens a
///   capitalised line ("— Ты придёшь? — Приду."), except inside «»;
/// - a break is added after ".", "?", "!" or "…" before a number ("сто лет. 31 мая"), unless
///   the stop belongs to a listed abbreviation or an initial;
/// - a break is added after a smiley (":)", ";)") before a capital;
/// - spaced ellipses (". . .") are placed by the style-guide rule (see placeSpacedEllipses);
/// - the items of an inline enumeration are cut apart (see splitEnumerations).
std::vector<qsizetype>
corrected(QStringView text, const std::vector<qsizetype> &breaks, const QList<Exception> &exceptions)
{
    std::vector<qsizetype> kept;
    qsizetype sentenceStart = 0;
    for (const qsizetype at : breaks) {
        const qsizetype end = endBefore(text, at);
        const QChar next = firstSignificant(text, at);
        qsizetype stop = end;
        while (stop > 0 && isClosing(text.at(stop - 1)))
            --stop;
        const QChar mark = stop > 0 ? text.at(stop - 1) : QChar();
        bool join = false;
        // After "!" or "?" a lower-case word, or no space at all, goes on with the sentence.
        if (at < text.size() && (next.isLower() || at == end) && (mark == u'!' || mark == u'?'))
            join = true;
        if (at < text.size() && next.isUpper() && endsWithInitial(text, end, at)) {
            const QStringView word = wordBefore(text, endBefore(text, end - 2));
            const bool pronoun = text.at(end - 2) == u'I' && !word.isEmpty() && word.front().isLower();
            join = !pronoun;
        }
        if (at < text.size() && isListNumber(text.mid(sentenceStart, end - sentenceStart).trimmed()))
            join = true;
        if (!join) {
            kept.push_back(at);
            sentenceStart = at;
        }
    }

    // Breaks to add, found by scanning the text.
    int quoteDepth = 0;
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar ch = text.at(at);
        if (ch == u'«')
            ++quoteDepth;
        else if (ch == u'»' && quoteDepth > 0)
            --quoteDepth;
        const bool ellipsis = ch == u'…' || (ch == u'.' && at >= 2 && text.mid(at - 2, 3) == u"...");
        // A smiley ends a sentence as a full stop does: "тоже ;) Я вспомнила".
        const bool smiley = ch == u')' && at > 0 && (text.at(at - 1) == u':' || text.at(at - 1) == u';');
        if (!ellipsis && !smiley && ch != u'.' && ch != u'!' && ch != u'?')
            continue;
        qsizetype after = at + 1;
        while (after < text.size() && (isClosing(text.at(after)) || text.at(after) == u'.'))
            ++after;
        if (after >= text.size() || !text.at(after).isSpace())
            continue;
        qsizetype next = after;
        while (next < text.size() && text.at(next).isSpace())
            ++next;
        if (next >= text.size())
            continue;
        qsizetype cut = -1;
        const QChar first = firstSignificant(text, next);
        if (isDash(text.at(next)) && quoteDepth == 0 && next + 1 < text.size() && text.at(next + 1).isSpace()
            && firstSignificant(text, next + 1).isUpper())
            cut = next;
        else if (ellipsis && first.isUpper() && at > 2 && !text.at(ch == u'…' ? at - 1 : at - 3).isSpace())
            cut = next;
        else if (smiley && first.isUpper())
            cut = next;
        else if (first.isDigit() && !isOpening(text.at(next)) && at > 0 && text.at(at - 1).isLetter()
                 && !endsWithAbbreviation(text, at + 1, next, exceptions)
                 && !endsWithInitial(text, at + 1, next))
            cut = next;
        if (cut >= 0)
            addBreak(kept, cut);
    }
    placeSpacedEllipses(text, kept);
    splitEnumerations(text, kept);
    return kept;
}

QString markedText(const QStringList &ids, const QStringList &sentences)
{
    QStringList pairs;
    const qsizetype count = std::min(ids.size(), sentences.size());
    for (qsizetype i = 0; i < count; ++i)
        pairs.append(u"[voice:"_s + ids.at(i) + u"]\n"_s + sentences.at(i));
    return pairs.join(u"\n\n"_s);
}

} // namespace

QStringList SentenceSplitter::sentences(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {};

    const Language language = dominantLanguage(trimmed);
    const icu::Locale locale = language == Language::Russian  ? icu::Locale("ru")
                               : language == Language::English ? icu::Locale("en")
                                                               : icu::Locale::getRoot();
    const QList<Exception> exceptions = exceptionsFor(language);

    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::BreakIterator> plain(
        icu::BreakIterator::createSentenceInstance(locale, status));
    const std::unique_ptr<icu::FilteredBreakIteratorBuilder> builder(
        icu::FilteredBreakIteratorBuilder::createEmptyInstance(status));
    if (U_FAILURE(status))
        throwIcuError(status);
    // ICU matches an exception at the end of any word, and one with inner stops ("e.g.") only
    // where it finds its first part; so only the last part goes in ("g.", "е." of "т. е."), and
    // the whole-word test below decides which of the breaks it holds are really abbreviations.
    for (const Exception &exception : exceptions) {
        const QStringView entry(exception.text);
        const qsizetype cut =
            std::max(entry.first(entry.size() - 1).lastIndexOf(u'.'), entry.lastIndexOf(u' '));
        builder->suppressBreakAfter(unicodeOf(entry.mid(cut + 1)), status);
    }
    const std::unique_ptr<icu::BreakIterator> filtered(
        builder->wrapIteratorWithFilter(icu::BreakIterator::createSentenceInstance(locale, status), status));
    if (U_FAILURE(status) || !plain || !filtered)
        throwIcuError(status);

    // QString and ICU both index UTF-16 code units, so the boundaries apply to `trimmed` as they are.
    const icu::UnicodeString unicode(false, reinterpret_cast<const char16_t *>(trimmed.utf16()),
                                     static_cast<int32_t>(trimmed.size()));
    const std::vector<qsizetype> all = breaksOf(*plain, unicode);
    const std::vector<qsizetype> held = breaksOf(*filtered, unicode);
    std::vector<qsizetype> breaks;
    for (const qsizetype at : all) {
        const bool suppressed = !std::binary_search(held.begin(), held.end(), at);
        if (!suppressed || !endsWithAbbreviation(trimmed, endBefore(trimmed, at), at, exceptions))
            breaks.push_back(at);
    }

    QStringList result;
    qsizetype start = 0;
    for (const qsizetype end : corrected(trimmed, breaks, exceptions)) {
        const QString sentence = trimmed.mid(start, end - start).trimmed();
        if (!sentence.isEmpty())
            result.append(sentence);
        start = end;
    }
    return result;
}

QString SentenceSplitter::plainText(const QString &text, const ScriptBlock &block)
{
    QStringList texts;
    for (const VoiceSegment &segment : VoiceSegment::parse(text, block.id, block.number))
        texts.append(segment.text);
    return texts.join(u'\n');
}

QStringList SentenceSplitter::makeMarkers(const ScriptBlock &block, qsizetype count, QSet<QString> existing)
{
    static const QRegularExpression disallowed(u"[^A-Za-z0-9._-]+"_s);
    QString base = QString(block.id).replace(disallowed, u"-"_s);
    qsizetype begin = 0;
    qsizetype end = base.size();
    while (begin < end && (base.at(begin) == u'-' || base.at(begin) == u'.'))
        ++begin;
    while (end > begin && (base.at(end - 1) == u'-' || base.at(end - 1) == u'.'))
        --end;
    base = base.mid(begin, end - begin);
    if (base.isEmpty())
        base = u"line"_s;

    QStringList ids;
    for (qsizetype i = 1; i <= count; ++i) {
        const QString stem = base + u'-' + QString::number(i);
        QString candidate = stem;
        for (qsizetype k = 2; existing.contains(voicePrefix.toString() + candidate); ++k)
            candidate = stem + u'-' + QString::number(k);
        existing.insert(voicePrefix.toString() + candidate);
        ids.append(candidate);
    }
    return ids;
}

ScriptBlock SentenceSplitter::split(const ScriptBlock &block, const QSet<QString> &existingSegmentIDs)
{
    const QStringList english = sentences(plainText(block.english, block));
    const QStringList russian = sentences(plainText(block.russian, block));
    const qsizetype count = std::max(russian.size(), english.size());
    if (count < 2)
        throw StudioError(u"Блок "_s + block.number + u" содержит одно предложение, разбивка не нужна"_s);
    if (!russian.isEmpty() && !english.isEmpty() && russian.size() != english.size())
        throw StudioError(u"Блок "_s + block.number + u": предложений в русском тексте "_s
                          + QString::number(russian.size()) + u", в английском "_s
                          + QString::number(english.size()) + u". Разбейте вручную маркерами [voice:...]"_s);

    const QStringList ids = makeMarkers(block, count, existingSegmentIDs);
    ScriptBlock result = block;
    result.russian = markedText(ids, russian);
    result.english = markedText(ids, english);
    return result;
}

} // namespace tarnwick
