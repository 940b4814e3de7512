#include "core/SentenceSplitter.h"

#include "core/StudioError.h"
#include "core/VoiceSegment.h"

#include <QRegularExpression>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <cstdio> // the detector's header uses FILE without including it
#include <cld2/public/compact_lang_det.h>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

/// The ICU locale for the text's dominant language, or the root locale when it cannot be told.
/// A short text is guessed as English without confidence, so only a reliable answer counts.
icu::Locale sentenceLocale(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    bool reliable = false;
    int validPrefix = 0;
    const CLD2::Language language = CLD2::DetectLanguageCheckUTF8(
        utf8.constData(), static_cast<int>(utf8.size()), true, &reliable, &validPrefix);
    if (!reliable)
        return icu::Locale::getRoot();
    // The standard suppressions keep "Mr. Smith" and "проф. Иванов" together; a merged pair of
    // sentences is still recordable, a sentence cut after a title is not.
    if (language == CLD2::RUSSIAN)
        return icu::Locale("ru@ss=standard");
    if (language == CLD2::ENGLISH)
        return icu::Locale("en@ss=standard");
    return icu::Locale::getRoot();
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

    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::BreakIterator> iterator(
        icu::BreakIterator::createSentenceInstance(sentenceLocale(trimmed), status));
    if (U_FAILURE(status) || !iterator)
        throw StudioError(u"Не удалось разбить текст на предложения: "_s
                          + QString::fromUtf8(u_errorName(status)));

    // QString and ICU both index UTF-16 code units, so the boundaries apply to `trimmed` as they are.
    const icu::UnicodeString unicode(false, reinterpret_cast<const char16_t *>(trimmed.utf16()),
                                     static_cast<int32_t>(trimmed.size()));
    iterator->setText(unicode);

    QStringList result;
    int32_t start = iterator->first();
    for (int32_t end = iterator->next(); end != icu::BreakIterator::DONE;
         start = end, end = iterator->next()) {
        const QString sentence = trimmed.mid(start, end - start).trimmed();
        if (!sentence.isEmpty())
            result.append(sentence);
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
