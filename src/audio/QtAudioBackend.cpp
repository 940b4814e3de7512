#include "audio/QtAudioBackend.h"

#include "core/FileAccess.h"
#include "core/StudioError.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QAudioSource>
#include <QFileInfo>
#include <QIODevice>
#include <QMediaDevices>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

// Pulse otherwise picks a record fragment of about two seconds, and the first frames of a take
// arrive that late.
constexpr int captureBufferMilliseconds = 20;
constexpr int playbackBufferMilliseconds = 100;
constexpr float silenceDecibels = -160.0f;

QAudioFormat captureFormat(const QAudioDevice &device)
{
    QAudioFormat format;
    format.setSampleRate(QtAudioBackend::sampleRate);
    format.setChannelCount(1);
    // 32-bit integers carry 24-bit samples without rounding; the others are fallbacks.
    for (const QAudioFormat::SampleFormat sample : {QAudioFormat::Int32, QAudioFormat::Float, QAudioFormat::Int16}) {
        format.setSampleFormat(sample);
        if (device.isFormatSupported(format))
            return format;
    }
    format.setSampleFormat(QAudioFormat::Int32);
    return format;
}

/// Opens a new WAV file for writing. The file appears under its name only once its header is
/// written: a process killed in between leaves nothing, rather than an empty file that the next
/// opening of the project would commit as a take.
SNDFILE *createWav(const QString &url, SF_INFO &info)
{
    const QString failure = u"Не удалось создать файл записи «"_s + url + u"»: "_s;
    const QByteArray path = QFile::encodeName(url);
    const QByteArray folder = QFile::encodeName(QFileInfo(url).absolutePath());
    const int fd = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
    if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR)
        throw StudioError(failure + files::reason(errno));
    if (fd < 0) { // a filesystem without unnamed files
        errno = 0;
        SNDFILE *file = sf_open(path.constData(), SFM_WRITE, &info);
        if (!file)
            throw StudioError(failure + files::reason(errno != 0 ? errno : EIO));
        return file;
    }
    errno = 0;
    SNDFILE *file = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE); // closes fd, on failure too
    if (!file)
        throw StudioError(failure + files::reason(errno != 0 ? errno : EIO));
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, path.constData(), AT_SYMLINK_FOLLOW) != 0) {
        const int error = errno;
        sf_close(file);
        throw StudioError(failure + files::reason(error));
    }
    return file;
}

/// Converts whole samples of `format` to full-scale 32-bit integers.
void toInt32(const char *data, qsizetype samples, QAudioFormat::SampleFormat format, std::vector<int> &out)
{
    out.resize(static_cast<size_t>(samples));
    switch (format) {
    case QAudioFormat::Int32:
        std::memcpy(out.data(), data, static_cast<size_t>(samples) * sizeof(int));
        return;
    case QAudioFormat::Float:
        for (qsizetype i = 0; i < samples; ++i) {
            float value;
            std::memcpy(&value, data + i * 4, 4);
            const double clamped = std::clamp(static_cast<double>(value), -1.0, 1.0);
            out[static_cast<size_t>(i)] = static_cast<int>(std::lround(clamped * 2147483647.0));
        }
        return;
    case QAudioFormat::Int16:
        for (qsizetype i = 0; i < samples; ++i) {
            qint16 value;
            std::memcpy(&value, data + i * 2, 2);
            out[static_cast<size_t>(i)] = static_cast<int>(value) * 65536;
        }
        return;
    case QAudioFormat::UInt8:
    case QAudioFormat::Unknown:
    case QAudioFormat::NSampleFormats:
        out.assign(static_cast<size_t>(samples), 0);
        return;
    }
}

/// Running totals written by the capture thread only and read by the main thread, so no lock.
struct CaptureTotals
{
    std::atomic<qint64> frames{0};
    std::atomic<double> squares{0.0}; // sum of squared samples, full scale = 1
    std::atomic<double> peak{0.0};    // the largest magnitude since the meter last read it
    std::atomic<qint64> limit{std::numeric_limits<qint64>::max()};
};

/// The end of the capture stream: appends every byte Qt hands over to the WAV file.
class WavWriter final : public QIODevice
{
    Q_OBJECT

public:
    WavWriter(SNDFILE *file, QAudioFormat format, CaptureTotals &totals, QObject *parent)
        : QIODevice(parent)
        , m_file(file)
        , m_format(format)
        , m_totals(totals)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

    bool isSequential() const override { return true; }

signals:
    void writeFailed(const QString &description);
    void limitReached();

protected:
    qint64 readData(char *, qint64) override { return -1; }

    qint64 writeData(const char *data, qint64 length) override
    {
        if (m_failed)
            return length; // already reported; keep the stream alive until the owner stops it
        m_pending.append(data, length);
        const int bytesPerSample = m_format.bytesPerSample();
        const qsizetype samples = m_pending.size() / bytesPerSample;
        if (samples == 0)
            return length;
        toInt32(m_pending.constData(), samples, m_format.sampleFormat(), m_samples);
        m_pending.remove(0, samples * bytesPerSample);
        const qint64 room = m_totals.limit.load(std::memory_order_relaxed)
                            - m_totals.frames.load(std::memory_order_relaxed);
        if (room <= 0)
            return length;
        const bool reachesLimit = room <= samples;
        if (reachesLimit)
            m_samples.resize(static_cast<size_t>(room));

        errno = 0;
        const auto count = static_cast<sf_count_t>(m_samples.size());
        const sf_count_t written = sf_write_int(m_file, m_samples.data(), count);
        const int error = errno;
        if (written != count) {
            m_failed = true;
            emit writeFailed(u"Не удалось записать звук в файл: "_s + files::reason(error != 0 ? error : EIO));
        }
        double squares = 0.0;
        double peak = 0.0;
        for (const int sample : m_samples) {
            const double value = sample / 2147483648.0;
            squares += value * value;
            peak = std::max(peak, std::abs(value));
        }
        double seen = m_totals.peak.load(std::memory_order_relaxed);
        while (peak > seen && !m_totals.peak.compare_exchange_weak(seen, peak, std::memory_order_relaxed)) {
        }
        m_totals.squares.store(m_totals.squares.load(std::memory_order_relaxed) + squares,
                               std::memory_order_relaxed);
        m_totals.frames.store(m_totals.frames.load(std::memory_order_relaxed) + written, std::memory_order_release);
        if (reachesLimit)
            emit limitReached();
        return length;
    }

private:
    SNDFILE *m_file;
    QAudioFormat m_format;
    CaptureTotals &m_totals;
    QByteArray m_pending;
    std::vector<int> m_samples;
    bool m_failed = false;
};

/// Lives on the capture thread: owns the QAudioSource and the writer, so capture and disk writes
/// go on while the main thread is busy.
class CaptureWorker final : public QObject
{
    Q_OBJECT

public:
    CaptureWorker(QAudioDevice device, SNDFILE *file, CaptureTotals &totals)
        : m_device(std::move(device))
        , m_file(file)
        , m_totals(totals)
    {
    }

    bool begin()
    {
        const QAudioFormat format = captureFormat(m_device);
        m_source = new QAudioSource(m_device, format, this);
        m_source->setBufferSize(format.bytesForDuration(captureBufferMilliseconds * 1000));
        m_writer = new WavWriter(m_file, format, m_totals, this);
        connect(m_writer, &WavWriter::writeFailed, this, &CaptureWorker::writeFailed);
        connect(m_writer, &WavWriter::limitReached, this, &CaptureWorker::limitReached);
        m_source->start(m_writer);
        // With no server start() fails at once and emits no state change.
        if (m_source->error() != QAudio::NoError || m_source->state() == QAudio::StoppedState)
            return false;
        connect(m_source, &QAudioSource::stateChanged, this, [this](QAudio::State state) {
            if (state != QAudio::StoppedState)
                return;
            const QAudio::Error error = m_source->error();
            if (error == QAudio::IOError)
                return; // the writer failed and has said why
            emit stoppedByDevice(error == QAudio::NoError);
        });
        return true;
    }

    void end()
    {
        if (!m_source)
            return;
        m_source->disconnect(this);
        m_source->stop();
        delete m_source;
        m_source = nullptr;
    }

signals:
    void stoppedByDevice(bool successfully);
    void writeFailed(const QString &description);
    void limitReached();

private:
    QAudioDevice m_device;
    SNDFILE *m_file;
    CaptureTotals &m_totals;
    QAudioSource *m_source = nullptr;
    WavWriter *m_writer = nullptr;
};

class QtRecorder final : public AudioRecorder
{
    Q_OBJECT

public:
    QtRecorder(const QAudioDevice &device, SNDFILE *file, QString path)
        : m_file(file)
        , m_path(std::move(path))
        , m_worker(new CaptureWorker(device, file, m_totals))
    {
        m_thread.setObjectName(u"capture"_s);
        m_worker->moveToThread(&m_thread);
        connect(m_worker, &CaptureWorker::stoppedByDevice, this, &AudioRecorder::finished);
        connect(m_worker, &CaptureWorker::writeFailed, this, &AudioRecorder::encodeError);
        connect(m_worker, &CaptureWorker::limitReached, this, &AudioRecorder::limitReached);
    }

    ~QtRecorder() override
    {
        stop();
        delete m_worker;
        if (m_file)
            sf_close(m_file);
    }

    bool record() override
    {
        m_thread.start(QThread::HighPriority);
        bool started = false;
        QMetaObject::invokeMethod(m_worker, &CaptureWorker::begin, Qt::BlockingQueuedConnection, &started);
        if (!started) {
            // A take that never started promises no file.
            stop();
            sf_close(std::exchange(m_file, nullptr));
            QFile::remove(m_path);
        }
        return started;
    }

    void stop() override
    {
        if (!m_thread.isRunning())
            return;
        QMetaObject::invokeMethod(m_worker, &CaptureWorker::end, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
        if (m_file)
            sf_write_sync(m_file);
    }

    MeterReading readMeter() override
    {
        const qint64 frames = m_totals.frames.load(std::memory_order_acquire);
        const double squares = m_totals.squares.load(std::memory_order_relaxed);
        const double peak = m_totals.peak.exchange(0.0, std::memory_order_relaxed);
        const qint64 count = frames - std::exchange(m_readFrames, frames);
        const double sum = squares - std::exchange(m_readSquares, squares);
        MeterReading reading{silenceDecibels, silenceDecibels};
        if (count > 0 && sum > 0.0)
            reading.averagePower = std::max(silenceDecibels, static_cast<float>(10.0 * std::log10(sum / count)));
        if (peak > 0.0)
            reading.peakPower = std::max(silenceDecibels, static_cast<float>(20.0 * std::log10(peak)));
        return reading;
    }

    qint64 framesCaptured() const override { return m_totals.frames.load(std::memory_order_acquire); }
    void setFrameLimit(qint64 frames) override { m_totals.limit.store(frames, std::memory_order_relaxed); }

    double currentTime() const override
    {
        return static_cast<double>(m_totals.frames.load(std::memory_order_acquire)) / QtAudioBackend::sampleRate;
    }

private:
    SNDFILE *m_file;
    QString m_path;
    CaptureTotals m_totals;
    QThread m_thread;
    CaptureWorker *m_worker; // deleted after its thread has ended
    qint64 m_readFrames = 0;
    double m_readSquares = 0.0;
};

/// Feeds a WAV file to the sink as 32-bit integers, whatever its sample width.
class WavReader final : public QIODevice
{
    Q_OBJECT

public:
    WavReader(SNDFILE *file, const SF_INFO &info, const PlaybackRegion &region, QObject *parent)
        : QIODevice(parent)
        , m_file(file)
        , m_channels(info.channels)
        , m_rate(info.samplerate)
        , m_first(std::clamp<sf_count_t>(std::llround(region.startSeconds * info.samplerate), 0, info.frames))
        , m_end(region.endSeconds ? std::clamp<sf_count_t>(std::llround(*region.endSeconds * info.samplerate),
                                                           m_first, info.frames)
                                  : info.frames)
        , m_gain(std::pow(10.0, region.gainDB / 20.0))
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

    ~WavReader() override { sf_close(m_file); }

    bool isSequential() const override { return true; }
    bool atEnd() const override { return m_ended; }
    double position() const { return static_cast<double>(m_next) / m_rate; }

    void rewind()
    {
        sf_seek(m_file, m_first, SEEK_SET);
        m_next = m_first;
        m_ended = false;
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const sf_count_t frameBytes = static_cast<sf_count_t>(m_channels) * 4;
        const sf_count_t frames = std::min<sf_count_t>(maxSize / frameBytes, m_end - m_next);
        if (frames <= 0) {
            m_ended = true;
            return 0;
        }
        // Qt's buffer need not be aligned for int, so read beside it and copy.
        m_frames.resize(static_cast<size_t>(frames * m_channels));
        const sf_count_t read = std::max<sf_count_t>(0, sf_readf_int(m_file, m_frames.data(), frames));
        m_next += read;
        if (read < frames || m_next >= m_end)
            m_ended = true;
        if (m_gain != 1.0) {
            for (int &sample : m_frames)
                sample = static_cast<int>(std::clamp(std::lround(sample * m_gain), -2147483647L, 2147483647L));
        }
        std::memcpy(data, m_frames.data(), static_cast<size_t>(read * frameBytes));
        return read * frameBytes;
    }

    qint64 writeData(const char *, qint64) override { return -1; }

private:
    SNDFILE *m_file;
    int m_channels;
    int m_rate;
    sf_count_t m_first;
    sf_count_t m_end;
    double m_gain;
    sf_count_t m_next = 0;
    std::vector<int> m_frames;
    bool m_ended = false;
};

class QtPlayer final : public AudioPlayer
{
    Q_OBJECT

public:
    QtPlayer(const QAudioDevice &device, SNDFILE *file, const SF_INFO &info, const PlaybackRegion &region)
        : m_reader(new WavReader(file, info, region, this))
    {
        QAudioFormat format;
        format.setSampleRate(info.samplerate);
        format.setChannelCount(info.channels);
        format.setSampleFormat(QAudioFormat::Int32);
        m_sink = new QAudioSink(device, format, this);
        // A short server buffer keeps pause prompt and makes the end of data the end of sound.
        m_sink->setBufferSize(format.bytesForDuration(playbackBufferMilliseconds * 1000));
        connect(m_sink, &QAudioSink::stateChanged, this, [this](QAudio::State state) {
            // Idle after Active is the end of the data; so is a device that dies under playback.
            if ((state == QAudio::IdleState && m_reader->atEnd())
                || (state == QAudio::StoppedState && m_sink->error() != QAudio::NoError))
                emit finished();
        });
    }

    ~QtPlayer() override { stop(); }

    bool play() override
    {
        switch (m_sink->state()) {
        case QAudio::ActiveState:
            return true;
        case QAudio::SuspendedState:
            m_sink->resume();
            return m_sink->state() == QAudio::ActiveState;
        case QAudio::IdleState:
        case QAudio::StoppedState:
            break;
        }
        m_reader->rewind();
        m_sink->start(m_reader);
        return m_sink->error() == QAudio::NoError && m_sink->state() == QAudio::ActiveState;
    }

    void pause() override { m_sink->suspend(); }

    void stop() override
    {
        m_sink->disconnect(this);
        m_sink->stop();
    }

    bool isPlaying() const override { return m_sink->state() == QAudio::ActiveState; }
    double position() const override { return m_reader->position(); }

private:
    WavReader *m_reader;
    QAudioSink *m_sink = nullptr;
};

class QtTimer final : public AudioTimer
{
    Q_OBJECT

public:
    explicit QtTimer(std::chrono::milliseconds interval)
    {
        connect(&m_timer, &QTimer::timeout, this, &AudioTimer::timeout);
        m_timer.start(interval);
    }

private:
    QTimer m_timer;
};

} // namespace

std::unique_ptr<AudioRecorder> QtAudioBackend::createRecorder(const QString &url)
{
    const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    if (inputs.isEmpty())
        throw StudioError(u"Микрофон не найден: нет ни одного устройства записи или звуковой сервер не запущен"_s);
    QAudioDevice device = QMediaDevices::defaultAudioInput();
    for (const QAudioDevice &input : inputs) {
        if (!m_inputDeviceID.isEmpty() && QString::fromUtf8(input.id()) == m_inputDeviceID)
            device = input;
    }
    if (device.isNull())
        device = inputs.first();

    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    SNDFILE *file = createWav(url, info);
    // Rewrites the header after every write, so a killed process leaves a readable take.
    sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    return std::make_unique<QtRecorder>(device, file, url);
}

std::unique_ptr<AudioPlayer> QtAudioBackend::createPlayer(const QString &url, const PlaybackRegion &region)
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        throw StudioError(u"Нет устройства воспроизведения звука: звуковой сервер не запущен"_s);
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(url).constData(), SFM_READ, &info);
    if (!file)
        throw StudioError(u"Не удалось открыть звук дубля «"_s + url + u"»: это не звуковой файл WAV или его нет"_s);
    return std::make_unique<QtPlayer>(device, file, info, region);
}

std::unique_ptr<AudioTimer> QtAudioBackend::createTimer(std::chrono::milliseconds interval)
{
    return std::make_unique<QtTimer>(interval);
}

QList<AudioInputDevice> QtAudioBackend::inputDevices() const
{
    QList<AudioInputDevice> devices;
    for (const QAudioDevice &input : QMediaDevices::audioInputs())
        devices.append({QString::fromUtf8(input.id()), input.description()});
    return devices;
}

} // namespace tarnwick

#include "QtAudioBackend.moc"
