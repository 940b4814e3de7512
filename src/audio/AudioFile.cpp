#include "audio/AudioFile.h"

#include <QFile>

#include <sndfile.h>

#include <cmath>
#include <vector>

namespace tarnwick {

std::optional<double> audioFileDuration(const QString &path)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return std::nullopt;
    sf_close(file);
    if (info.samplerate <= 0)
        return std::nullopt;
    return static_cast<double>(info.frames) / info.samplerate;
}

QList<float> audioFilePeaks(const QString &path, qsizetype bins)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return {};
    QList<float> peaks(bins > 0 && info.frames > 0 ? bins : 0, 0.0f);
    std::vector<float> block(std::size_t(4096) * std::max(info.channels, 1));
    sf_count_t frame = 0;
    while (!peaks.isEmpty()) {
        const sf_count_t read = sf_readf_float(file, block.data(), 4096);
        if (read <= 0)
            break;
        for (sf_count_t i = 0; i < read; ++i, ++frame) {
            const qsizetype bin = std::min<qsizetype>(frame * bins / info.frames, bins - 1);
            peaks[bin] = std::max(peaks[bin], std::fabs(block[std::size_t(i * info.channels)]));
        }
    }
    sf_close(file);
    return peaks;
}

} // namespace tarnwick
