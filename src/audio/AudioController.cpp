#include "audio/AudioController.h"

#include "core/StudioError.h"

#include <algorithm>
#include <cmath>
#include <utility>

using namespace Qt::StringLiterals;

namespace tarnwick {

AudioController::AudioController(std::unique_ptr<AudioBackend> backend, QObject *parent)
    : QObject(parent)
    , m_backend(std::move(backend))
    , m_levelHistory(historyLength, levelFloor)
    , m_powerHistory(historyLength, MeterReading{}.averagePower)
{
    m_backend->onInputDevicesChanged = [this] { emit inputDevicesChanged(); };
}

AudioController::~AudioController()
{
    m_backend->onInputDevicesChanged = nullptr;
    // Devices are released before the backend that made them.
    if (m_recorder) {
        m_recorder->disconnect(this);
        m_recorder->stop();
    }
    m_recorder.reset();
    m_timer.reset();
    if (m_player) {
        m_player->disconnect(this);
        m_player->stop();
    }
    m_player.reset();
}

float AudioController::levelForPower(float decibels)
{
    const float level = std::pow(10.0f, decibels / decibelDivisor);
    // fmin and fmax drop a NaN operand, so a broken reading never reaches the meter.
    return std::fmax(std::fmin(level, levelCeiling), levelFloor);
}

void AudioController::start(const QString &url)
{
    if (m_recording)
        throw StudioError(u"Запись уже идёт"_s);
    stopPlayback();

    // The backend records from the default input when the chosen one is gone; the user is told.
    const QList<AudioInputDevice> inputs = m_backend->inputDevices();
    const bool chosenPresent = std::any_of(inputs.cbegin(), inputs.cend(),
                                           [this](const AudioInputDevice &input) { return input.id == m_inputDeviceID; });
    m_missingInput = m_inputDeviceID.isEmpty() || chosenPresent ? std::nullopt : std::optional(m_inputDeviceID);
    m_capturedFrames = 0;

    std::unique_ptr<AudioRecorder> recorder = m_backend->createRecorder(url);
    const QPointer<AudioRecorder> reporter = recorder.get();
    if (m_frameLimit)
        recorder->setFrameLimit(*m_frameLimit);
    connect(
        recorder.get(), &AudioRecorder::limitReached, this,
        [this, reporter] {
            if (reporter && reporter == m_recorder.get())
                emit frameLimitReached();
        },
        Qt::QueuedConnection);
    connect(
        recorder.get(), &AudioRecorder::finished, this,
        [this, reporter](bool successfully) {
            recordingFailed(reporter, successfully ? u"Запись остановлена устройством"_s
                                                   : u"Устройство прервало запись; проверьте сохранённый звук"_s);
        },
        Qt::QueuedConnection);
    connect(
        recorder.get(), &AudioRecorder::encodeError, this,
        [this, reporter](const QString &description) {
            recordingFailed(reporter, description.isEmpty() ? u"Ошибка записи звука"_s : description);
        },
        Qt::QueuedConnection);

    if (!recorder->record()) {
        recorder->disconnect(this);
        throw StudioError(u"Микрофон не начал запись"_s);
    }

    m_recorder = std::move(recorder);
    setRecording(true);
    setRecordingDuration(0.0);
    m_levelHistory = QList<float>(historyLength, levelFloor);
    m_powerHistory = QList<float>(historyLength, MeterReading{}.averagePower);
    emit levelHistoryChanged();
    setClipped(false);
    m_timer = m_backend->createTimer(meterInterval);
    const QPointer<AudioTimer> ticker = m_timer.get();
    connect(
        m_timer.get(), &AudioTimer::timeout, this,
        [this, ticker] {
            if (ticker && ticker == m_timer.get())
                updateMeter();
        },
        Qt::QueuedConnection);
}

void AudioController::updateMeter()
{
    if (!m_recorder || !m_recording)
        return;
    const MeterReading meter = m_recorder->readMeter();
    setLevel(levelForPower(meter.averagePower), meter);
    setRecordingDuration(m_recorder->currentTime());
    m_levelHistory.append(m_level);
    if (m_levelHistory.size() > historyLength)
        m_levelHistory.remove(0, m_levelHistory.size() - historyLength);
    m_powerHistory.append(meter.averagePower);
    if (m_powerHistory.size() > historyLength)
        m_powerHistory.remove(0, m_powerHistory.size() - historyLength);
    emit levelHistoryChanged();
    if (meter.peakPower >= clipThreshold)
        setClipped(true);
}

void AudioController::stopRecording()
{
    if (m_recorder) {
        // Disconnect first: a stop the application asked for is not a device failure.
        m_recorder->disconnect(this);
        m_recorder->stop();
        m_capturedFrames = m_recorder->framesCaptured();
    }
    m_recorder.reset();
    m_timer.reset();
    setRecording(false);
    setLevel(0.0f);
    setRecordingDuration(0.0);
}

void AudioController::recordingFailed(AudioRecorder *reporter, const QString &message)
{
    if (!reporter || reporter != m_recorder.get())
        return;
    stopRecording();
    if (onRecordingError)
        onRecordingError(message);
}

void AudioController::togglePlayback(const Take &take, const QString &url)
{
    if (m_recording)
        throw StudioError(u"Сначала завершите запись"_s);

    if (m_player && m_playerID == take.id) {
        if (m_player->isPlaying()) {
            m_player->pause();
            setPlayingID(std::nullopt);
            return;
        }
        if (!m_player->play())
            throw StudioError(u"Не удалось воспроизвести дубль"_s);
        setPlayingID(take.id);
        return;
    }

    play(take, url, {});
}

void AudioController::play(const Take &take, const QString &url, const PlaybackRegion &region)
{
    if (m_recording)
        throw StudioError(u"Сначала завершите запись"_s);
    stopPlayback();
    std::unique_ptr<AudioPlayer> player = m_backend->createPlayer(url, region);
    const QPointer<AudioPlayer> reporter = player.get();
    connect(
        player.get(), &AudioPlayer::finished, this, [this, reporter] { playerFinished(reporter); },
        Qt::QueuedConnection);
    if (!player->play()) {
        player->disconnect(this);
        throw StudioError(u"Не удалось воспроизвести дубль"_s);
    }
    m_player = std::move(player);
    m_playerID = take.id;
    setPlayingID(take.id);
}

std::optional<double> AudioController::playbackPosition() const
{
    if (!m_player)
        return std::nullopt;
    return m_player->position();
}

void AudioController::playerFinished(AudioPlayer *reporter)
{
    if (reporter && reporter == m_player.get())
        stopPlayback();
}

void AudioController::stopPlayback()
{
    if (m_player) {
        m_player->disconnect(this);
        m_player->stop();
    }
    m_player.reset();
    m_playerID.reset();
    setPlayingID(std::nullopt);
}

// Every assignment is announced, changed or not: observers redraw from the published state.
void AudioController::setRecording(bool recording)
{
    m_recording = recording;
    emit recordingChanged();
}

void AudioController::setPlayingID(std::optional<QUuid> id)
{
    m_playingID = id;
    emit playingIDChanged();
}

void AudioController::setLevel(float level, MeterReading meter)
{
    m_level = level;
    m_meter = meter;
    emit levelChanged();
}

void AudioController::setClipped(bool clipped)
{
    if (clipped == m_clipped)
        return;
    m_clipped = clipped;
    emit clippedChanged();
}

void AudioController::setRecordingDuration(double seconds)
{
    m_recordingDuration = seconds;
    emit recordingDurationChanged();
}

} // namespace tarnwick
