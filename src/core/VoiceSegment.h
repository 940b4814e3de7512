#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarnwick {

/// One separately recorded piece of a block's spoken text. Computed from a block, never stored.
struct VoiceSegment
{
    QString id;    // "voice:" + marker id, or the block's id when the block has no markers
    QString label; // the marker id, or the block's number
    QString text;

    /// Cuts a text at its `[voice:<id>]` marker lines. Never fails and never returns an empty list:
    /// without usable markers the whole text is one segment with the fallback id and label.
    static QList<VoiceSegment> parse(const QString &text, const QString &fallbackID, const QString &fallbackLabel);

    friend bool operator==(const VoiceSegment &, const VoiceSegment &) = default;
};

inline constexpr QStringView voicePrefix = u"voice:";

/// Marker-syntax helpers shared by the cutting and the marker check.
namespace markers {
QStringList splitLines(const QString &text);        // at every line-break character, one by one
QString trimSpaces(const QString &text);            // white space only, not line breaks
bool isBlank(const QString &text);                  // empty after trimming spaces and line breaks
std::optional<QString> markerID(const QString &line); // the id when the line is a marker line
} // namespace markers

} // namespace tarnwick
