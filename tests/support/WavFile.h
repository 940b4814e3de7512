#pragma once

#include <QString>

#include <sndfile.h>

#include <cstddef>
#include <vector>

namespace tarnwick::testing {

/// A WAV file as libsndfile reads it, for checks of format, length and loudness.
struct Wav
{
    SF_INFO info{};
    std::vector<double> samples; // full scale = 1
    bool readable = false;

    double seconds() const;
    double peak(double from, double to) const;     // highest magnitude between two times
    double decibels(double from, double to) const; // RMS in dBFS between two times; -200 for nothing
    bool is24BitMono48k() const;

private:
    std::size_t index(double seconds) const;
};

Wav readWav(const QString &path);

} // namespace tarnwick::testing
