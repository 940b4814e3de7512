#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace tarnwick {

/// A frame rate as an exact fraction: 25/1, 30000/1001.
struct FrameRate
{
    qint64 numerator = 25;
    qint64 denominator = 1;

    friend bool operator==(const FrameRate &, const FrameRate &) = default;
};

/// "25", "29.97", "23.976", "59.94" or "30000/1001"; nothing for anything else or a rate
/// outside 1..120 frames per second. The decimal forms of the NTSC rates mean N*1000/1001.
std::optional<FrameRate> parseFrameRate(QStringView text);

/// One audio file placed on the timeline. Every position and length is in samples.
struct TimelineClip
{
    QString fileName;         // relative to the folder of the timeline file
    QString name;             // the block number; also names the clip's marker
    qint64 timelineStart = 0; // where the clip starts on the timeline
    qint64 sourceIn = 0;      // the first sample of the file that is used
    qint64 length = 0;
    qint64 fileLength = 0;
    qint64 timeReference = 0; // the file's own start time; source timecodes count from it

    friend bool operator==(const TimelineClip &, const TimelineClip &) = default;
};

/// One audio track of clips in order, not overlapping.
struct Timeline
{
    QString title;
    FrameRate fps;
    int sampleRate = 48000;
    QList<TimelineClip> clips;

    friend bool operator==(const Timeline &, const Timeline &) = default;
};

/// The frame nearest to `samples` (a half frame rounds up). Every position is converted on its
/// own from samples, never summed in frames, so a long timeline does not drift.
qint64 framesFromSamples(qint64 samples, FrameRate fps, int sampleRate);

/// A clip in whole frames, as every format places it. The end on the timeline is converted on
/// its own; the end in the file is clamped to the file's last whole frame.
struct FramedClip
{
    qint64 start = 0;      // on the timeline
    qint64 sourceIn = 0;   // in the file, from its first sample
    qint64 length = 0;
    qint64 fileLength = 0; // whole frames in the file
    qint64 timeReference = 0;

    friend bool operator==(const FramedClip &, const FramedClip &) = default;
};
FramedClip framed(const TimelineClip &clip, FrameRate fps, int sampleRate);

/// The timeline as the bytes of a file in each format. Deterministic: the same timeline gives the
/// same bytes. Each throws StudioError when the clips are out of order, overlap or leave their file.
QByteArray toEDL(const Timeline &timeline);          // CMX3600
QByteArray toFinalCut7XML(const Timeline &timeline); // xmeml version 4
QByteArray toFCPXML(const Timeline &timeline);       // FCPXML 1.8
QByteArray toOTIO(const Timeline &timeline);         // OpenTimelineIO JSON
QByteArray toMLT(const Timeline &timeline);          // MLT XML

} // namespace tarnwick
