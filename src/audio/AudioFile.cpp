#include "audio/AudioFile.h"

#include <QFile>

#include <sndfile.h>

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

} // namespace tarnwick
