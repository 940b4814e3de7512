#include "audio/PulseAudioBackend.h"

#include "core/FileAccess.h"
#include "core/StudioError.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <pulse/pulseaudio.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

using namespace std::chrono_literals;

// Small record fragments keep what a killed process loses, and the start gap, near 10 ms.
constexpr pa_usec_t captureFragment = 10'000;
// A short server buffer keeps pause prompt and makes the end of data the end of sound.
constexpr pa_usec_t playbackBuffer = 100'000;
// Stops and starts wait this long for the server at most.
constexpr auto streamBound = 3s;
// A connection that failed is tried again this often; a recorder asking for it tries at once.
constexpr pa_usec_t reconnectInterval = 500'000;
constexpr float silenceDecibels = -160.0f;

const pa_sample_spec monoSpec{PA_SAMPLE_S32NE, PulseAudioBackend::sampleRate, 1};

} // namespace

/// The main loop thread and the one context, made again whenever the server goes away. Every
/// member is touched only with the loop locked; callbacks run on the loop's thread, locked.
class PulseConnection final
{
public:
    PulseConnection()
        : m_loop(pa_threaded_mainloop_new())
    {
        pa_threaded_mainloop_start(m_loop);
        const Lock lock(*this);
        connectContext();
    }

    ~PulseConnection()
    {
        {
            const Lock lock(*this);
            onInputsChanged = nullptr;
            if (m_retry)
                api()->time_free(m_retry);
            dropContext();
        }
        pa_threaded_mainloop_stop(m_loop);
        pa_threaded_mainloop_free(m_loop);
    }

    PulseConnection(const PulseConnection &) = delete;
    PulseConnection &operator=(const PulseConnection &) = delete;

    class Lock
    {
    public:
        explicit Lock(const PulseConnection &connection)
            : m_loop(connection.m_loop)
        {
            pa_threaded_mainloop_lock(m_loop);
        }
        ~Lock() { pa_threaded_mainloop_unlock(m_loop); }
        Lock(const Lock &) = delete;
        Lock &operator=(const Lock &) = delete;

    private:
        pa_threaded_mainloop *m_loop;
    };

    pa_threaded_mainloop *loop() const { return m_loop; }
    pa_context *context() const { return m_context; }
    void wake() const { pa_threaded_mainloop_signal(m_loop, 0); }

    /// Locked: waits until `done` holds or `bound` passes; callbacks that change its answer wake.
    template<typename Condition>
    bool waitFor(Condition done, std::chrono::microseconds bound)
    {
        if (done())
            return true;
        bool expired = false;
        timeval when{};
        pa_timeval_add(pa_gettimeofday(&when), static_cast<pa_usec_t>(bound.count()));
        struct Alarm
        {
            PulseConnection *connection;
            bool *expired;
        } alarm{this, &expired};
        pa_time_event *event = api()->time_new(
            api(), &when,
            [](pa_mainloop_api *, pa_time_event *, const timeval *, void *data) {
                auto *self = static_cast<Alarm *>(data);
                *self->expired = true;
                self->connection->wake();
            },
            &alarm);
        while (!done() && !expired)
            pa_threaded_mainloop_wait(m_loop);
        api()->time_free(event);
        return done();
    }

    /// Locked: a ready context, trying a failed one again at once; false when the server is away.
    bool waitUntilReady(std::chrono::microseconds bound)
    {
        if (!m_context)
            connectContext();
        const int attempt = m_attempt;
        waitFor([&] { return (m_ready && m_listed) || m_attempt != attempt || !m_context; }, bound);
        return m_ready && m_listed;
    }

    QList<AudioInputDevice> inputs() const { return m_inputs; }

    std::function<void()> onInputsChanged; // called on the loop's thread

private:
    pa_mainloop_api *api() const { return pa_threaded_mainloop_get_api(m_loop); }

    void connectContext()
    {
        if (m_retry) {
            api()->time_free(m_retry);
            m_retry = nullptr;
        }
        m_context = pa_context_new(api(), "Tarnwick");
        pa_context_set_state_callback(m_context, &PulseConnection::stateChanged, this);
        pa_context_set_subscribe_callback(m_context, &PulseConnection::serverEvent, this);
        // NOFAIL waits for a server that is not there yet instead of failing at once.
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOFAIL, nullptr) < 0)
            contextFailed();
    }

    void dropContext()
    {
        if (!m_context)
            return;
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
        m_ready = false;
        m_listed = false;
    }

    void contextFailed()
    {
        dropContext();
        ++m_attempt;
        setInputs({});
        wake();
        if (m_retry)
            return;
        timeval when{};
        pa_timeval_add(pa_gettimeofday(&when), reconnectInterval);
        m_retry = api()->time_new(
            api(), &when,
            [](pa_mainloop_api *api, pa_time_event *event, const timeval *, void *data) {
                auto *self = static_cast<PulseConnection *>(data);
                api->time_free(event);
                self->m_retry = nullptr;
                self->connectContext();
            },
            this);
    }

    static void stateChanged(pa_context *context, void *data)
    {
        auto *self = static_cast<PulseConnection *>(data);
        switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY: {
            self->m_ready = true;
            if (pa_operation *operation = pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SOURCE, nullptr, nullptr))
                pa_operation_unref(operation);
            self->refresh();
            break;
        }
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            self->contextFailed();
            return;
        case PA_CONTEXT_UNCONNECTED:
        case PA_CONTEXT_CONNECTING:
        case PA_CONTEXT_AUTHORIZING:
        case PA_CONTEXT_SETTING_NAME:
            break;
        }
        self->wake();
    }

    static void serverEvent(pa_context *, pa_subscription_event_type_t, uint32_t, void *data)
    {
        static_cast<PulseConnection *>(data)->refresh();
    }

    /// Asks for the sources; the list is replaced when the newest request has been answered.
    void refresh()
    {
        if (!m_context)
            return;
        ++m_refreshes;
        m_nextInputs.clear();
        if (pa_operation *operation = pa_context_get_source_info_list(m_context, &PulseConnection::sourceListed, this))
            pa_operation_unref(operation);
    }

    static void sourceListed(pa_context *, const pa_source_info *info, int last, void *data)
    {
        auto *self = static_cast<PulseConnection *>(data);
        if (info && info->monitor_of_sink == PA_INVALID_INDEX)
            self->m_nextInputs.append({QString::fromUtf8(info->name), QString::fromUtf8(info->description)});
        if (last == 0)
            return;
        // Answers come in order, so only the newest request's answer counts as the current list.
        if (++self->m_refreshesAnswered < self->m_refreshes) {
            self->m_nextInputs.clear();
            return;
        }
        self->m_listed = true;
        self->setInputs(std::exchange(self->m_nextInputs, {}));
        self->wake();
    }

    void setInputs(QList<AudioInputDevice> inputs)
    {
        m_refreshesAnswered = m_refreshes;
        if (inputs == m_inputs)
            return;
        m_inputs = std::move(inputs);
        if (onInputsChanged)
            onInputsChanged();
    }

    pa_threaded_mainloop *m_loop;
    pa_context *m_context = nullptr;
    pa_time_event *m_retry = nullptr;
    bool m_ready = false;
    bool m_listed = false;
    int m_attempt = 0; // counts failed connections, so a waiter learns its attempt ended
    int m_refreshes = 0;
    int m_refreshesAnswered = 0;
    QList<AudioInputDevice> m_inputs;
    QList<AudioInputDevice> m_nextInputs;
};

namespace {

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

/// Writes blocks of samples to the WAV file on a thread of its own, so a slow disk never holds
/// up the server's loop.
class WavWriter final
{
public:
    WavWriter(SNDFILE *file, std::function<void(const QString &)> failed, std::function<void()> limitReached)
        : m_file(file)
        , m_failed(std::move(failed))
        , m_limitReached(std::move(limitReached))
        , m_thread([this] { run(); })
    {
    }

    ~WavWriter() { finish(); }

    void append(std::vector<int> samples, bool reachesLimit)
    {
        {
            const std::lock_guard guard(m_mutex);
            m_queue.push_back({std::move(samples), reachesLimit});
        }
        m_wake.notify_one();
    }

    /// Writes what is queued, then closes the file.
    void finish()
    {
        if (!m_thread.joinable())
            return;
        {
            const std::lock_guard guard(m_mutex);
            m_closing = true;
        }
        m_wake.notify_one();
        m_thread.join();
        sf_write_sync(m_file);
        sf_close(m_file);
    }

    qint64 frames() const { return m_frames.load(std::memory_order_acquire); }

private:
    struct Block
    {
        std::vector<int> samples;
        bool reachesLimit;
    };

    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_closing || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            // Whatever has queued up goes in one write: the header is rewritten once per write.
            Block block = std::move(m_queue.front());
            m_queue.pop_front();
            while (!m_queue.empty() && !block.reachesLimit) {
                block.samples.insert(block.samples.end(), m_queue.front().samples.cbegin(),
                                     m_queue.front().samples.cend());
                block.reachesLimit = m_queue.front().reachesLimit;
                m_queue.pop_front();
            }
            lock.unlock();
            write(block);
            lock.lock();
        }
    }

    void write(const Block &block)
    {
        if (m_broken)
            return; // already reported; keep reading until the owner stops
        errno = 0;
        const auto count = static_cast<sf_count_t>(block.samples.size());
        const sf_count_t written = sf_write_int(m_file, block.samples.data(), count);
        const int error = errno;
        m_frames.fetch_add(std::max<sf_count_t>(written, 0), std::memory_order_release);
        if (written != count) {
            m_broken = true;
            m_failed(u"Не удалось записать звук в файл: "_s + files::reason(error != 0 ? error : EIO));
        } else if (block.reachesLimit) {
            m_limitReached();
        }
    }

    SNDFILE *m_file;
    std::function<void(const QString &)> m_failed;
    std::function<void()> m_limitReached;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Block> m_queue;
    bool m_closing = false;
    bool m_broken = false;
    std::atomic<qint64> m_frames{0};
    std::thread m_thread; // last: it starts once everything above exists
};

class PulseRecorder final : public AudioRecorder
{
    Q_OBJECT

public:
    PulseRecorder(std::shared_ptr<PulseConnection> connection, QByteArray source, SNDFILE *file, QString path)
        : m_connection(std::move(connection))
        , m_source(std::move(source))
        , m_path(std::move(path))
        , m_writer(
              file, [this](const QString &description) { emit encodeError(description); },
              [this] { emit limitReached(); })
    {
    }

    ~PulseRecorder() override { stop(); }

    bool record() override
    {
        const PulseConnection::Lock lock(*m_connection);
        bool started = m_connection->waitUntilReady(streamBound) && open();
        if (started) {
            m_connection->waitFor([this] { return pa_stream_get_state(m_stream) != PA_STREAM_CREATING; },
                                  streamBound);
            started = pa_stream_get_state(m_stream) == PA_STREAM_READY;
        }
        if (!started) {
            // A take that never started promises no file.
            closeStream();
            m_writer.finish();
            QFile::remove(m_path);
        }
        return started;
    }

    void stop() override
    {
        {
            const PulseConnection::Lock lock(*m_connection);
            if (m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY) {
                // Everything the microphone caught up to now is still on its way: read until the
                // stream has handed it over, and keep no frame captured after this moment.
                // A suspended input sends nothing, whatever the latency says.
                pa_usec_t latency = 0;
                int negative = 0;
                if (pa_stream_get_latency(m_stream, &latency, &negative) != 0 || negative
                    || pa_stream_is_suspended(m_stream) == 1)
                    latency = 0;
                m_stopAt = m_read + static_cast<qint64>(pa_usec_to_bytes(latency, &monoSpec) / sizeof(int));
                const auto bound = std::min<std::chrono::microseconds>(streamBound, latency * 1us + 500ms);
                m_connection->waitFor(
                    [this] { return m_read >= m_stopAt || pa_stream_get_state(m_stream) != PA_STREAM_READY; }, bound);
            }
            closeStream();
        }
        m_writer.finish();
    }

    MeterReading readMeter() override
    {
        const qint64 frames = m_meterFrames.load(std::memory_order_acquire);
        const double squares = m_squares.load(std::memory_order_relaxed);
        const double peak = m_peak.exchange(0.0, std::memory_order_relaxed);
        const qint64 count = frames - std::exchange(m_readFrames, frames);
        const double sum = squares - std::exchange(m_readSquares, squares);
        MeterReading reading{silenceDecibels, silenceDecibels};
        if (count > 0 && sum > 0.0)
            reading.averagePower = std::max(silenceDecibels, static_cast<float>(10.0 * std::log10(sum / count)));
        if (peak > 0.0)
            reading.peakPower = std::max(silenceDecibels, static_cast<float>(20.0 * std::log10(peak)));
        return reading;
    }

    qint64 framesCaptured() const override { return m_writer.frames(); }
    void setFrameLimit(qint64 frames) override { m_limit.store(frames, std::memory_order_relaxed); }
    double currentTime() const override
    {
        return static_cast<double>(m_writer.frames()) / PulseAudioBackend::sampleRate;
    }

private:
    bool open()
    {
        m_stream = pa_stream_new(m_connection->context(), "Tarnwick take", &monoSpec, nullptr);
        if (!m_stream)
            return false;
        pa_stream_set_state_callback(m_stream, &PulseRecorder::stateChanged, this);
        pa_stream_set_read_callback(m_stream, &PulseRecorder::readable, this);
        pa_buffer_attr buffer{};
        buffer.maxlength = std::numeric_limits<uint32_t>::max();
        buffer.tlength = buffer.prebuf = buffer.minreq = std::numeric_limits<uint32_t>::max();
        buffer.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(captureFragment, &monoSpec));
        // One take, one microphone: a vanished input ends the take rather than switching silently.
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE
                                                          | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_DONT_MOVE);
        return pa_stream_connect_record(m_stream, m_source.isEmpty() ? nullptr : m_source.constData(), &buffer,
                                        flags)
               == 0;
    }

    void closeStream()
    {
        if (!m_stream)
            return;
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }

    static void stateChanged(pa_stream *stream, void *data)
    {
        auto *self = static_cast<PulseRecorder *>(data);
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_FAILED && self->m_started)
            emit self->finished(false); // the server died or the input went away
        self->m_started = self->m_started || state == PA_STREAM_READY;
        self->m_connection->wake();
    }

    static void readable(pa_stream *stream, size_t, void *data)
    {
        auto *self = static_cast<PulseRecorder *>(data);
        const void *bytes = nullptr;
        size_t length = 0;
        while (pa_stream_peek(stream, &bytes, &length) == 0 && length > 0) {
            self->accept(bytes, static_cast<qint64>(length / sizeof(int)));
            pa_stream_drop(stream);
        }
        self->m_connection->wake();
    }

    /// On the loop's thread: meters and queues what falls before the stop and the frame limit.
    void accept(const void *bytes, qint64 frames)
    {
        const qint64 first = m_read;
        m_read += frames;
        const qint64 limit = std::min(m_stopAt, m_limit.load(std::memory_order_relaxed));
        const qint64 keep = std::clamp<qint64>(limit - first, 0, frames);
        if (keep == 0)
            return;
        std::vector<int> samples(static_cast<size_t>(keep), 0); // a hole in the stream is silence
        if (bytes)
            std::memcpy(samples.data(), bytes, samples.size() * sizeof(int));
        double squares = 0.0;
        double peak = 0.0;
        for (const int sample : samples) {
            const double value = sample / 2147483648.0;
            squares += value * value;
            peak = std::max(peak, std::abs(value));
        }
        double seen = m_peak.load(std::memory_order_relaxed);
        while (peak > seen && !m_peak.compare_exchange_weak(seen, peak, std::memory_order_relaxed)) {
        }
        m_squares.store(m_squares.load(std::memory_order_relaxed) + squares, std::memory_order_relaxed);
        m_meterFrames.fetch_add(keep, std::memory_order_release);
        m_writer.append(std::move(samples), first + keep == m_limit.load(std::memory_order_relaxed));
    }

    std::shared_ptr<PulseConnection> m_connection;
    QByteArray m_source; // empty: the server's default source
    QString m_path;
    pa_stream *m_stream = nullptr;
    bool m_started = false;
    qint64 m_read = 0;                                        // frames the stream has handed over
    qint64 m_stopAt = std::numeric_limits<qint64>::max();     // frames to keep, set by stop
    std::atomic<qint64> m_limit{std::numeric_limits<qint64>::max()};
    // Written by the loop's thread only and read by the main thread, so no lock.
    std::atomic<qint64> m_meterFrames{0};
    std::atomic<double> m_squares{0.0}; // sum of squared samples, full scale = 1
    std::atomic<double> m_peak{0.0};    // the largest magnitude since the meter last read it
    qint64 m_readFrames = 0;
    double m_readSquares = 0.0;
    WavWriter m_writer; // last: its thread may call back into the members above
};

/// Plays a region of a WAV file, read as 32-bit integers whatever its sample width.
class PulsePlayer final : public AudioPlayer
{
    Q_OBJECT

public:
    PulsePlayer(std::shared_ptr<PulseConnection> connection, SNDFILE *file, const SF_INFO &info,
                const PlaybackRegion &region)
        : m_connection(std::move(connection))
        , m_file(file)
        // Floats: libsndfile reads any file as floats at its own level, which its int reading
        // does not do for a file of floats, as an editor may save a take again.
        , m_spec{PA_SAMPLE_FLOAT32NE, static_cast<uint32_t>(info.samplerate), static_cast<uint8_t>(info.channels)}
        , m_first(std::clamp<sf_count_t>(std::llround(region.startSeconds * info.samplerate), 0, info.frames))
        , m_end(region.endSeconds ? std::clamp<sf_count_t>(std::llround(*region.endSeconds * info.samplerate),
                                                           m_first, info.frames)
                                  : info.frames)
        , m_gain(std::pow(10.0, region.gainDB / 20.0))
    {
    }

    ~PulsePlayer() override
    {
        stop();
        sf_close(m_file);
    }

    bool play() override
    {
        const PulseConnection::Lock lock(*m_connection);
        if (m_stream && !m_ended) {
            if (m_paused)
                uncork();
            m_paused = false;
            return pa_stream_get_state(m_stream) == PA_STREAM_READY;
        }
        closeStream();
        sf_seek(m_file, m_first, SEEK_SET);
        m_next = m_first;
        m_ended = false;
        m_paused = false;
        if (!m_connection->waitUntilReady(streamBound) || !open())
            return false;
        m_connection->waitFor([this] { return pa_stream_get_state(m_stream) != PA_STREAM_CREATING; }, streamBound);
        return pa_stream_get_state(m_stream) == PA_STREAM_READY;
    }

    void pause() override
    {
        const PulseConnection::Lock lock(*m_connection);
        if (!m_stream || m_ended || m_paused)
            return;
        m_paused = true;
        if (pa_operation *operation = pa_stream_cork(m_stream, 1, nullptr, nullptr))
            pa_operation_unref(operation);
    }

    void stop() override
    {
        const PulseConnection::Lock lock(*m_connection);
        closeStream();
    }

    bool isPlaying() const override
    {
        const PulseConnection::Lock lock(*m_connection);
        return m_stream && !m_paused && !m_ended;
    }

    double position() const override
    {
        const PulseConnection::Lock lock(*m_connection);
        pa_usec_t heard = 0;
        if (!m_stream || pa_stream_get_time(m_stream, &heard) != 0)
            heard = 0;
        const double end = static_cast<double>(m_end) / m_spec.rate;
        return std::min(end, static_cast<double>(m_first) / m_spec.rate + static_cast<double>(heard) / 1e6);
    }

private:
    bool open()
    {
        m_stream = pa_stream_new(m_connection->context(), "Tarnwick playback", &m_spec, nullptr);
        if (!m_stream)
            return false;
        pa_stream_set_state_callback(m_stream, &PulsePlayer::stateChanged, this);
        pa_stream_set_write_callback(m_stream, &PulsePlayer::writable, this);
        pa_buffer_attr buffer{};
        buffer.maxlength = buffer.prebuf = buffer.minreq = buffer.fragsize = std::numeric_limits<uint32_t>::max();
        buffer.tlength = static_cast<uint32_t>(pa_usec_to_bytes(playbackBuffer, &m_spec));
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE
                                                          | PA_STREAM_INTERPOLATE_TIMING);
        return pa_stream_connect_playback(m_stream, nullptr, &buffer, flags, nullptr, nullptr) == 0;
    }

    void uncork()
    {
        if (pa_operation *operation = pa_stream_cork(m_stream, 0, nullptr, nullptr))
            pa_operation_unref(operation);
    }

    void closeStream()
    {
        if (!m_stream)
            return;
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_write_callback(m_stream, nullptr, nullptr);
        if (m_drain) {
            pa_operation_cancel(m_drain);
            pa_operation_unref(std::exchange(m_drain, nullptr));
        }
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }

    static void stateChanged(pa_stream *stream, void *data)
    {
        auto *self = static_cast<PulsePlayer *>(data);
        if (pa_stream_get_state(stream) == PA_STREAM_FAILED && !self->m_ended) {
            self->m_ended = true;
            emit self->finished(); // a device that dies under playback ends it
        }
        self->m_connection->wake();
    }

    static void writable(pa_stream *stream, size_t length, void *data)
    {
        auto *self = static_cast<PulsePlayer *>(data);
        const int channels = self->m_spec.channels;
        const sf_count_t wanted = std::min<sf_count_t>(static_cast<sf_count_t>(length / sizeof(float)) / channels,
                                                       self->m_end - self->m_next);
        if (wanted > 0) {
            std::vector<float> frames(static_cast<size_t>(wanted * channels));
            const sf_count_t read = std::max<sf_count_t>(0, sf_readf_float(self->m_file, frames.data(), wanted));
            self->m_next = read < wanted ? self->m_end : self->m_next + read;
            if (read == 0)
                frames.clear();
            if (self->m_gain != 1.0) {
                for (float &sample : frames)
                    sample = static_cast<float>(std::clamp(sample * self->m_gain, -1.0, 1.0));
            }
            if (!frames.empty())
                pa_stream_write(stream, frames.data(), static_cast<size_t>(read * channels) * sizeof(float), nullptr,
                                0, PA_SEEK_RELATIVE);
        }
        if (self->m_next >= self->m_end && !self->m_drain) {
            // The end of the data: finished once the server has played all of it.
            self->m_drain = pa_stream_drain(
                stream,
                [](pa_stream *, int success, void *player) {
                    auto *me = static_cast<PulsePlayer *>(player);
                    pa_operation_unref(std::exchange(me->m_drain, nullptr));
                    if (success && !me->m_ended) {
                        me->m_ended = true;
                        emit me->finished();
                    }
                },
                self);
        }
    }

    std::shared_ptr<PulseConnection> m_connection;
    SNDFILE *m_file;
    pa_sample_spec m_spec;
    sf_count_t m_first;
    sf_count_t m_end;
    double m_gain;
    sf_count_t m_next = 0;
    pa_stream *m_stream = nullptr;
    pa_operation *m_drain = nullptr;
    bool m_paused = false;
    bool m_ended = false;
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

const QString noServer = u"Микрофон не найден: нет ни одного устройства записи или звуковой сервер не запущен"_s;

} // namespace

PulseAudioBackend::PulseAudioBackend()
    : m_connection(std::make_shared<PulseConnection>())
{
    const PulseConnection::Lock lock(*m_connection);
    m_connection->onInputsChanged = [this] {
        QMetaObject::invokeMethod(
            &m_mainThread,
            [this] {
                if (onInputDevicesChanged)
                    onInputDevicesChanged();
            },
            Qt::QueuedConnection);
    };
}

PulseAudioBackend::~PulseAudioBackend()
{
    const PulseConnection::Lock lock(*m_connection);
    m_connection->onInputsChanged = nullptr;
}

std::unique_ptr<AudioRecorder> PulseAudioBackend::createRecorder(const QString &url)
{
    QByteArray source;
    {
        const PulseConnection::Lock lock(*m_connection);
        if (!m_connection->waitUntilReady(streamBound) || m_connection->inputs().isEmpty())
            throw StudioError(noServer);
        const QList<AudioInputDevice> inputs = m_connection->inputs();
        const bool chosen = std::any_of(inputs.cbegin(), inputs.cend(),
                                        [this](const AudioInputDevice &input) { return input.id == m_inputDeviceID; });
        // No name lets the server take its default source as it stands at this moment.
        if (chosen)
            source = m_inputDeviceID.toUtf8();
    }
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    SNDFILE *file = createWav(url, info);
    // Rewrites the header after every write, so a killed process leaves a readable take.
    sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    return std::make_unique<PulseRecorder>(m_connection, source, file, url);
}

std::unique_ptr<AudioPlayer> PulseAudioBackend::createPlayer(const QString &url, const PlaybackRegion &region)
{
    {
        const PulseConnection::Lock lock(*m_connection);
        if (!m_connection->waitUntilReady(streamBound))
            throw StudioError(u"Нет устройства воспроизведения звука: звуковой сервер не запущен"_s);
    }
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(url).constData(), SFM_READ, &info);
    if (!file)
        throw StudioError(u"Не удалось открыть звук дубля «"_s + url + u"»: это не звуковой файл WAV или его нет"_s);
    return std::make_unique<PulsePlayer>(m_connection, file, info, region);
}

std::unique_ptr<AudioTimer> PulseAudioBackend::createTimer(std::chrono::milliseconds interval)
{
    return std::make_unique<QtTimer>(interval);
}

QList<AudioInputDevice> PulseAudioBackend::inputDevices() const
{
    const PulseConnection::Lock lock(*m_connection);
    // Only the first call waits for the server: later changes are announced, and a window that
    // lists inputs must not stall while the server is away.
    if (!std::exchange(m_listedOnce, true))
        m_connection->waitUntilReady(streamBound);
    return m_connection->inputs();
}

} // namespace tarnwick

#include "PulseAudioBackend.moc"
