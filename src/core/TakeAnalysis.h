#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace tarnwick {

/// What a take's WAV file measures, computed once per file. Levels are in dB relative to full
/// scale; -160 stands for no signal at all.
struct TakeFigures
{
    double durationSeconds = 0;
    std::optional<double> integratedLUFS; // none when too short or silent
    double loudnessRangeLU = 0;
    double samplePeakDBFS = -160;
    double truePeakDBTP = -160;
    qint64 clippedSamples = 0;    // samples at the 24-bit extremes (±(2^23 - 1), -2^23)
    double noiseFloorDBFS = -160; // RMS of the quietest 500 ms window
    std::optional<double> speechStartSeconds, speechEndSeconds; // none when no speech

    friend bool operator==(const TakeFigures &, const TakeFigures &) = default;
};

/// What is wrong with a take, in the order the flags are listed.
enum class TakeFlag { Clipping, Quiet, Loud, Noisy, Silent, CutHead, CutTail };

/// The flags the figures raise. Every threshold lives in this one function:
/// clipping: any clipped sample; quiet: below -30 LUFS; loud: true peak above -1 dBTP;
/// noisy: noise floor above -50 dBFS; silent: no speech; cut-head / cut-tail: speech within
/// 50 ms of the start / end.
QList<TakeFlag> takeFlags(const TakeFigures &figures);
/// "clipping", "quiet", "loud", "noisy", "silent", "cut-head", "cut-tail".
QString flagName(TakeFlag flag);
/// A few Russian words for the speaker, such as "перегрузка".
QString flagText(TakeFlag flag);

/// The fields under their own names; null for none.
QJsonObject toJson(const TakeFigures &figures);
/// None when a key is missing or holds the wrong type.
std::optional<TakeFigures> figuresFromJson(const QJsonObject &json);

/// Reads the whole file in blocks (any sound file libsndfile opens; takes are 24-bit mono WAV).
/// Throws StudioError naming the file when it cannot be opened or read to its end.
TakeFigures analyseTake(const QString &wavPath);

} // namespace tarnwick
