#include "support/TakeCorpus.h"

#include "support/TestSupport.h"

#include <QFile>

#include <sndfile.h>

#include <climits>
#include <cmath>
#include <cstring>

using namespace Qt::StringLiterals;

namespace tarnwick::testing {

Phrase spokenPhrase(const QString &directory)
{
    const QString spoken = directory + u"/phrase.wav"_s;
    const QString raw = directory + u"/phrase.f32"_s;
    if (runProgram(u"espeak-ng"_s,
                   {u"-v"_s, u"ru"_s, u"-w"_s, spoken, u"Проверка записи голоса, раз, два, три."_s})
                .exitCode != 0 ||
        runProgram(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-y"_s, u"-i"_s, spoken, u"-ar"_s, u"48000"_s, u"-f"_s,
                                 u"f32le"_s, raw})
                .exitCode != 0)
        return {};
    const QByteArray bytes = readBytes(raw);
    Phrase phrase;
    phrase.samples.resize(static_cast<size_t>(bytes.size()) / sizeof(float));
    std::memcpy(phrase.samples.data(), bytes.constData(), phrase.samples.size() * sizeof(float));
    bool started = false;
    for (size_t i = 0; i < phrase.samples.size(); ++i) {
        if (std::abs(phrase.samples[i]) > 0.001f) {
            phrase.onsetSeconds = started ? phrase.onsetSeconds : static_cast<double>(i) / 48000;
            phrase.offsetSeconds = static_cast<double>(i + 1) / 48000;
            started = true;
        }
    }
    return phrase;
}

qint64 writeTake(const QString &path, const std::vector<float> &samples)
{
    SF_INFO info{0, 48000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0, 0};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return -1;
    std::vector<int> ints(samples.size());
    qint64 extremes = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double scaled = std::round(static_cast<double>(samples[i]) * 8388608.0);
        const auto sample = static_cast<int>(std::clamp(scaled, -8388608.0, 8388607.0));
        extremes += sample == 8388607 || sample == -8388608 ? 1 : 0;
        ints[i] = static_cast<int>(static_cast<unsigned>(sample) << 8);
    }
    const bool written = sf_writef_int(file, ints.data(), static_cast<sf_count_t>(ints.size())) ==
                         static_cast<sf_count_t>(ints.size());
    sf_close(file);
    return written ? extremes : -1;
}

} // namespace tarnwick::testing
