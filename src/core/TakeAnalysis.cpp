#include "core/TakeAnalysis.h"

#include "core/StudioError.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonValue>

#include <sndfile.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <ebur128.h>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

constexpr double silenceDB = -160;
constexpr int blocksPerSecond = 100;        // the detector's resolution: 10 ms
constexpr qsizetype floorWindowBlocks = 50; // 500 ms

double toDB(double linear, double factor = 20)
{
    return linear > 0 ? std::max(silenceDB, factor * std::log10(linear)) : silenceDB;
}

/// The largest positive value libsndfile's int reading gives for a file of this format, narrower
/// samples being shifted to the top bits. Its negative counts as clipped too: writers that scale
/// floats by the positive extreme never reach the most negative value.
qint64 positiveExtreme(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return INT_MAX - (qint64{1} << 24) + 1;
    case SF_FORMAT_PCM_16:
        return INT_MAX - (qint64{1} << 16) + 1;
    case SF_FORMAT_PCM_24:
        return INT_MAX - (qint64{1} << 8) + 1;
    default:
        return INT_MAX;
    }
}

/// Frames as ints, full scale at the int extremes. libsndfile's own scaling of a float file
/// would raise its loudest sample to full scale, so floats are scaled here; at or past 1.0 they
/// read as the extreme, and count as clipped.
sf_count_t readFrames(SNDFILE *file, int format, std::vector<int> &samples, sf_count_t frames)
{
    const int subtype = format & SF_FORMAT_SUBMASK;
    if (subtype != SF_FORMAT_FLOAT && subtype != SF_FORMAT_DOUBLE)
        return sf_readf_int(file, samples.data(), frames);
    std::vector<double> values(samples.size());
    const sf_count_t read = sf_readf_double(file, values.data(), frames);
    std::ranges::transform(values, samples.begin(), [](double value) {
        return static_cast<int>(std::clamp(value * 2147483648.0, -2147483647.0, 2147483647.0));
    });
    return read;
}

struct SoundFileCloser
{
    void operator()(SNDFILE *file) const { sf_close(file); }
};
struct LoudnessStateDestroyer
{
    void operator()(ebur128_state *state) const { ebur128_destroy(&state); }
};

/// Where speech is, from the energy of 10 ms blocks against the take's own noise floor. A block
/// is loud when it stands 12 dB above the floor (less in a take with hardly any pause, never
/// less than 3 dB) and above -70 dBFS; speech needs five loud blocks within 150 ms, so a click
/// is not speech.
void findSpeech(const std::vector<double> &blockDB, double blockSeconds, TakeFigures &figures)
{
    if (blockDB.empty())
        return;
    const double loudest = *std::max_element(blockDB.cbegin(), blockDB.cend());
    const double floor = figures.noiseFloorDBFS;
    const double threshold = std::max(std::max(floor + 3, std::min(floor + 12, loudest - 20)), -70.0);
    const auto size = static_cast<qsizetype>(blockDB.size());
    constexpr qsizetype span = 15;
    constexpr qsizetype needed = 5;
    const auto loudIn = [&](qsizetype from, qsizetype to) {
        qsizetype count = 0;
        for (qsizetype i = std::max<qsizetype>(from, 0); i < std::min(to, size); ++i)
            count += blockDB[static_cast<size_t>(i)] > threshold ? 1 : 0;
        return count;
    };
    const auto loud = [&](qsizetype i) { return blockDB[static_cast<size_t>(i)] > threshold; };

    qsizetype first = -1;
    for (qsizetype i = 0; i < size && first < 0; ++i) {
        if (loud(i) && loudIn(i, i + span) >= needed)
            first = i;
    }
    if (first < 0)
        return;
    qsizetype last = first;
    for (qsizetype i = size - 1; i > first; --i) {
        if (loud(i) && loudIn(i - span + 1, i + 1) >= needed) {
            last = i;
            break;
        }
    }
    figures.speechStartSeconds = static_cast<double>(first) * blockSeconds;
    figures.speechEndSeconds =
        std::min(figures.durationSeconds, static_cast<double>(last + 1) * blockSeconds);
}

} // namespace

QList<TakeFlag> takeFlags(const TakeFigures &figures)
{
    constexpr double quietBelowLUFS = -30;
    constexpr double loudAboveDBTP = -1;
    constexpr double noisyAboveDBFS = -50;
    constexpr double cutWithinSeconds = 0.050;

    QList<TakeFlag> flags;
    if (figures.clippedSamples > 0)
        flags.append(TakeFlag::Clipping);
    if (figures.integratedLUFS && *figures.integratedLUFS < quietBelowLUFS)
        flags.append(TakeFlag::Quiet);
    if (figures.truePeakDBTP > loudAboveDBTP)
        flags.append(TakeFlag::Loud);
    if (figures.noiseFloorDBFS > noisyAboveDBFS)
        flags.append(TakeFlag::Noisy);
    if (!figures.speechStartSeconds || !figures.speechEndSeconds) {
        flags.append(TakeFlag::Silent);
        return flags;
    }
    if (*figures.speechStartSeconds < cutWithinSeconds)
        flags.append(TakeFlag::CutHead);
    if (*figures.speechEndSeconds > figures.durationSeconds - cutWithinSeconds)
        flags.append(TakeFlag::CutTail);
    return flags;
}

QString flagName(TakeFlag flag)
{
    switch (flag) {
    case TakeFlag::Clipping:
        return u"clipping"_s;
    case TakeFlag::Quiet:
        return u"quiet"_s;
    case TakeFlag::Loud:
        return u"loud"_s;
    case TakeFlag::Noisy:
        return u"noisy"_s;
    case TakeFlag::Silent:
        return u"silent"_s;
    case TakeFlag::CutHead:
        return u"cut-head"_s;
    case TakeFlag::CutTail:
        return u"cut-tail"_s;
    }
    return {};
}

QString flagText(TakeFlag flag)
{
    switch (flag) {
    case TakeFlag::Clipping:
        return u"перегрузка"_s;
    case TakeFlag::Quiet:
        return u"слишком тихо"_s;
    case TakeFlag::Loud:
        return u"пики выше −1 dBTP"_s;
    case TakeFlag::Noisy:
        return u"шумно"_s;
    case TakeFlag::Silent:
        return u"нет речи"_s;
    case TakeFlag::CutHead:
        return u"обрезано начало"_s;
    case TakeFlag::CutTail:
        return u"обрезан конец"_s;
    }
    return {};
}

QJsonObject toJson(const TakeFigures &figures)
{
    const auto optional = [](const std::optional<double> &value) {
        return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
    };
    return QJsonObject{
        {u"durationSeconds"_s, figures.durationSeconds},
        {u"integratedLUFS"_s, optional(figures.integratedLUFS)},
        {u"loudnessRangeLU"_s, figures.loudnessRangeLU},
        {u"samplePeakDBFS"_s, figures.samplePeakDBFS},
        {u"truePeakDBTP"_s, figures.truePeakDBTP},
        {u"clippedSamples"_s, figures.clippedSamples},
        {u"noiseFloorDBFS"_s, figures.noiseFloorDBFS},
        {u"speechStartSeconds"_s, optional(figures.speechStartSeconds)},
        {u"speechEndSeconds"_s, optional(figures.speechEndSeconds)},
    };
}

std::optional<TakeFigures> figuresFromJson(const QJsonObject &json)
{
    bool valid = true;
    const auto number = [&](QLatin1StringView key) {
        const QJsonValue value = json.value(key);
        valid = valid && value.isDouble();
        return value.toDouble();
    };
    const auto optional = [&](QLatin1StringView key) -> std::optional<double> {
        const QJsonValue value = json.value(key);
        valid = valid && (value.isDouble() || value.isNull());
        return value.isDouble() ? std::optional(value.toDouble()) : std::nullopt;
    };
    TakeFigures figures;
    figures.durationSeconds = number("durationSeconds"_L1);
    figures.integratedLUFS = optional("integratedLUFS"_L1);
    figures.loudnessRangeLU = number("loudnessRangeLU"_L1);
    figures.samplePeakDBFS = number("samplePeakDBFS"_L1);
    figures.truePeakDBTP = number("truePeakDBTP"_L1);
    figures.clippedSamples = static_cast<qint64>(number("clippedSamples"_L1));
    figures.noiseFloorDBFS = number("noiseFloorDBFS"_L1);
    figures.speechStartSeconds = optional("speechStartSeconds"_L1);
    figures.speechEndSeconds = optional("speechEndSeconds"_L1);
    if (!valid)
        return std::nullopt;
    return figures;
}

TakeFigures analyseTake(const QString &wavPath)
{
    const QString named = u"Аудиофайл «"_s + wavPath + u"»"_s;
    SF_INFO info{};
    const std::unique_ptr<SNDFILE, SoundFileCloser> file(
        sf_open(QFile::encodeName(wavPath).constData(), SFM_READ, &info));
    if (!file) {
        if (!QFileInfo::exists(wavPath))
            throw StudioError(named + u" не найден"_s);
        throw StudioError(named + u" не читается: повреждён или это не звуковой файл"_s);
    }
    if (info.channels < 1 || info.samplerate < blocksPerSecond)
        throw StudioError(named + u" не читается: неподдерживаемый формат"_s);

    const auto channels = static_cast<unsigned>(info.channels);
    const std::unique_ptr<ebur128_state, LoudnessStateDestroyer> loudness(
        ebur128_init(channels, static_cast<unsigned long>(info.samplerate),
                     EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK));
    if (!loudness)
        throw StudioError(named + u" не читается: неподдерживаемый формат"_s);

    const qint64 highest = positiveExtreme(info.format);
    const sf_count_t blockFrames = info.samplerate / blocksPerSecond;
    constexpr sf_count_t blocksPerRead = 100; // one second
    std::vector<int> samples(static_cast<size_t>(blockFrames * blocksPerRead) * channels);
    std::vector<double> blockDB;
    std::vector<double> blockPower;
    qint64 frames = 0;
    qint64 peak = 0;
    TakeFigures figures;

    for (;;) {
        const sf_count_t read = readFrames(file.get(), info.format, samples, blockFrames * blocksPerRead);
        if (read <= 0)
            break;
        if (ebur128_add_frames_int(loudness.get(), samples.data(), static_cast<size_t>(read)) !=
            EBUR128_SUCCESS)
            throw StudioError(named + u" не читается: не хватает памяти"_s);
        for (sf_count_t start = 0; start < read; start += blockFrames) {
            const sf_count_t end = std::min(read, start + blockFrames);
            double sum = 0;
            for (size_t i = static_cast<size_t>(start) * channels; i < static_cast<size_t>(end) * channels;
                 ++i) {
                const qint64 sample = samples[i];
                peak = std::max(peak, sample < 0 ? -sample : sample);
                if (sample >= highest || sample <= -highest)
                    ++figures.clippedSamples;
                const double x = static_cast<double>(sample) / 2147483648.0;
                sum += x * x;
            }
            const double power = sum / static_cast<double>((end - start) * channels);
            blockPower.push_back(power);
            blockDB.push_back(toDB(power, 10));
        }
        frames += read;
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR)
        throw StudioError(named + u" не дочитан: ошибка чтения после "_s +
                          QString::number(static_cast<double>(frames) / info.samplerate, 'f', 2) + u" с"_s);

    figures.durationSeconds = static_cast<double>(frames) / info.samplerate;
    figures.samplePeakDBFS = toDB(static_cast<double>(peak) / 2147483648.0);
    double global = -HUGE_VAL;
    if (ebur128_loudness_global(loudness.get(), &global) == EBUR128_SUCCESS && std::isfinite(global))
        figures.integratedLUFS = global;
    double range = 0;
    if (ebur128_loudness_range(loudness.get(), &range) == EBUR128_SUCCESS && std::isfinite(range))
        figures.loudnessRangeLU = range;
    double truePeak = 0;
    for (unsigned channel = 0; channel < channels; ++channel) {
        double channelPeak = 0;
        if (ebur128_true_peak(loudness.get(), channel, &channelPeak) == EBUR128_SUCCESS)
            truePeak = std::max(truePeak, channelPeak);
    }
    figures.truePeakDBTP = toDB(truePeak);

    // The quietest 500 ms, as a running sum over the blocks; a shorter take is its own window.
    const auto window = std::min<qsizetype>(floorWindowBlocks, static_cast<qsizetype>(blockPower.size()));
    if (window > 0) {
        double sum = 0;
        double quietest = HUGE_VAL;
        for (size_t i = 0; i < blockPower.size(); ++i) {
            sum += blockPower[i];
            if (i >= static_cast<size_t>(window))
                sum -= blockPower[i - static_cast<size_t>(window)];
            if (i + 1 >= static_cast<size_t>(window))
                quietest = std::min(quietest, std::max(0.0, sum) / static_cast<double>(window));
        }
        figures.noiseFloorDBFS = toDB(quietest, 10);
    }
    findSpeech(blockDB, 1.0 / blocksPerSecond, figures);
    return figures;
}

} // namespace tarnwick
