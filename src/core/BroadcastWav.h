#pragma once

#include <QList>
#include <QString>

#include <memory>
#include <span>

namespace tarnwick {

/// What a Broadcast WAV file tells about itself besides its sound: the `bext` fields and the
/// iXML production fields.
struct BroadcastWavInfo
{
    QString description;      // ASCII; other characters become '?', cut at 256
    qint64 timeReference = 0; // samples from the start of the timeline
    QString project;          // the iXML fields, UTF-8
    QString scene;
    QString take;
    bool circled = false;
    QString note;

    friend bool operator==(const BroadcastWavInfo &, const BroadcastWavInfo &) = default;
};

/// A labelled point of the file, in samples from its first sample.
struct CueMarker
{
    qint64 position = 0;
    QString label;

    friend bool operator==(const CueMarker &, const CueMarker &) = default;
};

/// Streams a 24-bit 48 kHz mono Broadcast WAV file to `path`: `bext`, `iXML`, optional cues with
/// labels, then the sound. The chunks come before the sound, so all of them are given up front.
/// Nothing depends on the clock: the same input gives the same bytes. A writer destroyed before
/// `finish` leaves an incomplete file, which the caller removes.
class BroadcastWavWriter final
{
public:
    BroadcastWavWriter(const QString &path, const BroadcastWavInfo &info, const QList<CueMarker> &cues = {});
    ~BroadcastWavWriter();
    BroadcastWavWriter(const BroadcastWavWriter &) = delete;
    BroadcastWavWriter &operator=(const BroadcastWavWriter &) = delete;

    void write(std::span<const float> samples); // full scale is 1; louder samples are clipped
    void finish();                              // closes and flushes to disk
    qint64 written() const;                     // samples so far

    static constexpr int sampleRate = 48000;

private:
    struct File;
    std::unique_ptr<File> m_file;
};

/// The iXML document the writer puts in the file.
QByteArray iXMLDocument(const BroadcastWavInfo &info);

} // namespace tarnwick
