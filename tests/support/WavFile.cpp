#include "support/WavFile.h"

#include <QFile>

#include <algorithm>
#include <cmath>

namespace tarnwick::testing {

double Wav::seconds() const
{
    return info.samplerate > 0 ? static_cast<double>(samples.size()) / info.samplerate : 0.0;
}

double Wav::peak(double from, double to) const
{
    double highest = 0.0;
    for (std::size_t i = index(from); i < index(to); ++i)
        highest = std::max(highest, std::abs(samples[i]));
    return highest;
}

double Wav::decibels(double from, double to) const
{
    double squares = 0.0;
    const std::size_t first = index(from), last = index(to);
    for (std::size_t i = first; i < last; ++i)
        squares += samples[i] * samples[i];
    return last > first && squares > 0.0 ? 10.0 * std::log10(squares / static_cast<double>(last - first)) : -200.0;
}

bool Wav::is24BitMono48k() const
{
    return readable && info.format == (SF_FORMAT_WAV | SF_FORMAT_PCM_24) && info.channels == 1
        && info.samplerate == 48000;
}

std::size_t Wav::index(double seconds) const
{
    return std::min(samples.size(), static_cast<std::size_t>(std::max(0.0, seconds) * info.samplerate));
}

Wav readWav(const QString &path)
{
    Wav wav;
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &wav.info);
    if (!file)
        return wav;
    wav.samples.resize(static_cast<std::size_t>(wav.info.frames * wav.info.channels));
    const sf_count_t read = sf_read_double(file, wav.samples.data(), static_cast<sf_count_t>(wav.samples.size()));
    wav.samples.resize(static_cast<std::size_t>(std::max<sf_count_t>(read, 0)));
    wav.readable = true;
    sf_close(file);
    return wav;
}

} // namespace tarnwick::testing
