// Feeds the voice-marker parser and the marker check hostile text, and aborts on a broken
// promise so the fuzzer reports it. Input is UTF-8: the Russian text, optionally followed by a
// NUL and the English text, so the check compares two marker lists.

#include "core/ScriptBlock.h"
#include "core/StudioError.h"
#include "core/VoiceSegment.h"

#include <QByteArray>
#include <QRegularExpression>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace Qt::StringLiterals;
using namespace tarnwick;

namespace {

void require(bool fact)
{
    if (!fact)
        std::abort();
}

/// What parse promises for any text.
void checkSegments(const QList<VoiceSegment> &segments,
                   const QString &text,
                   const QString &fallbackID,
                   const QString &fallbackLabel)
{
    static const QRegularExpression validLabel(u"^[A-Za-z0-9._-]+$"_s);
    require(!segments.isEmpty());
    if (segments.size() == 1 && segments.constFirst().id == fallbackID) {
        // Without usable markers the text comes back whole, untrimmed.
        require(segments.constFirst() == (VoiceSegment{fallbackID, fallbackLabel, text}));
        return;
    }
    for (const VoiceSegment &segment : segments) {
        require(segment.id.startsWith(voicePrefix));
        require(segment.id == voicePrefix.toString() + segment.label);
        require(validLabel.match(segment.label).hasMatch());
        require(!markers::isBlank(segment.text));
        require(segment.text == segment.text.trimmed());
        // A segment never swallows a marker line; that would merge two recordings.
        for (const QString &line : markers::splitLines(segment.text))
            require(!markers::markerID(line));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const qsizetype split = input.indexOf('\0');
    const QString russian = QString::fromUtf8(split < 0 ? input : input.left(split));
    const QString english = split < 0 ? QString() : QString::fromUtf8(input.mid(split + 1));

    checkSegments(VoiceSegment::parse(russian, u"b1"_s, u"1"_s), russian, u"b1"_s, u"1"_s);

    ScriptBlock block{.id = u"b1"_s, .number = u"1"_s, .russian = russian, .english = english};
    const QList<VoiceSegment> segments = block.voiceSegments();
    const QString &source = markers::isBlank(english) ? russian : english;
    checkSegments(segments, source, block.id, block.number);
    require(block.hasVoiceMarkers() == segments.constFirst().id.startsWith(voicePrefix));

    const std::optional<QString> issue = block.voiceMarkerIssue();
    if (issue)
        require(!issue->isEmpty());
    // A block with text and no marker problem passes the scenario check on its own.
    if (!issue && !(markers::isBlank(russian) && markers::isBlank(english))) {
        try {
            ScriptBlock::validate({block});
        } catch (const StudioError &) {
            std::abort();
        }
    }
    return 0;
}
