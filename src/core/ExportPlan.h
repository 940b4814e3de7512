#pragma once

#include "core/ScriptBlock.h"
#include "core/Take.h"

#include <QList>
#include <QString>

namespace tarnwick {

/// One file of the editor's package: a segment's chosen take, with what the lists say of it.
struct PlannedClip
{
    int position = 0;  // 1-based, in script order
    QString fileName;  // "NNN_<number>[_<marker id>].wav"
    ScriptBlock block;
    QString segmentID;    // the recording id
    QString segmentLabel; // the marker id, or the block's number
    QString russian;      // the segment's spoken texts
    QString english;
    Take take;
    int takeNumber = 0; // 1-based among the segment's takes, oldest first
};

/// A segment that has takes to choose from, or none, but no chosen one.
struct MissingSegment
{
    ScriptBlock block;
    QString segmentLabel;
};

struct ExportPlan
{
    QList<PlannedClip> clips;
    QList<MissingSegment> missing;
};

/// Every segment of `blocks` in script order, with its chosen take. Never fails; the caller
/// decides what missing takes mean.
ExportPlan planExport(const QList<ScriptBlock> &blocks, const QList<Take> &takes);

/// The refusal naming the count and the first few block numbers.
QString missingTakesMessage(const QList<MissingSegment> &missing);

/// The block number as a file-name part: every character that is not a letter, a digit, "."
/// or "-" becomes "_".
QString fileNamePart(const QString &text);

} // namespace tarnwick
