#pragma once

#include <QString>

#include <vector>

namespace tarnwick::testing {

/// Sound made at test time for measuring takes; full scale is 1.
struct Phrase
{
    std::vector<float> samples; // 48 kHz mono; empty when espeak-ng or ffmpeg failed
    double onsetSeconds = 0;    // the first and last sample above -60 dBFS
    double offsetSeconds = 0;
};
/// A Russian sentence spoken by espeak-ng, resampled to 48 kHz by ffmpeg.
Phrase spokenPhrase(const QString &directory);

/// Writes a 24-bit mono 48 kHz WAV; values at or beyond full scale become the format's extremes.
/// Answers how many did, or -1 when the file could not be written.
qint64 writeTake(const QString &path, const std::vector<float> &samples);

} // namespace tarnwick::testing
