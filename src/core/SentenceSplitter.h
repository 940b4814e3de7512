#pragma once

#include "core/ScriptBlock.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace tarnwick {

/// Cuts a block's voice texts into sentences and pairs the i-th Russian sentence with the i-th
/// English one under a new `[voice:...]` marker. Pure functions; callable from any thread.
class SentenceSplitter final
{
public:
    /// The block with `russian` and `english` replaced by marked sentences; other fields kept.
    /// Markers already in the texts are dropped first, so a split block can be split again.
    /// New marker ids avoid every "voice:" + id in `existingSegmentIDs`. Throws StudioError when
    /// neither language has two sentences or both have sentences in different numbers.
    static ScriptBlock split(const ScriptBlock &block, const QSet<QString> &existingSegmentIDs);

    /// The sentences of `text` for its dominant language, each trimmed, none empty, in order.
    static QStringList sentences(const QString &text);

    SentenceSplitter() = delete;

private:
    static QString plainText(const QString &text, const ScriptBlock &block);
    static QStringList makeMarkers(const ScriptBlock &block, qsizetype count, QSet<QString> existing);
};

} // namespace tarnwick
