// The road of one take: announced on disk before any sound, recorded, then committed or kept
// pending until the user retries or cancels.

#include "studio/Studio.h"

#include "core/FileAccess.h"
#include "core/StudioError.h"

#include <QDateTime>
#include <QPointer>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

// A chosen microphone that has gone is named, so the speaker never hears a switch unannounced.
QString onDefaultInput(const QString &what, const QString &missing)
{
    return what + u" с микрофона по умолчанию: микрофон «"_s + missing + u"» не найден"_s;
}

} // namespace

void Studio::record(const ScriptBlock &block)
{
    const QList<VoiceSegment> segments = block.voiceSegments();
    for (const VoiceSegment &segment : segments) {
        if (!hasSelectedTake(segment.id)) {
            record(block, segment);
            return;
        }
    }
    if (!segments.isEmpty())
        record(block, segments.constFirst()); // every segment is chosen: a new, unchosen take
}

void Studio::record(const ScriptBlock &block, const VoiceSegment &segment)
{
    if (locked() || block.voiceMarkerIssue() || !m_blockFacts.contains(block.id) || !m_store)
        return;
    if (!m_blockFacts.value(block.id).segments.contains(segment)) // a cell from before an edit
        return;

    setSelection(m_selectedBlockID, segment.id);
    const QUuid id = QUuid::createUuid();
    // Whole seconds, as the manifest keeps them: the take in memory equals the one read back.
    QDateTime now = QDateTime::currentDateTimeUtc();
    now = now.addMSecs(-now.time().msec());
    const Take take{id, segment.id, uuidText(id) + u".wav"_s, now, !hasSelectedTake(segment.id)};
    setBusy(true);

    // The rest runs from the event loop, so the command returns at once, as it would while a
    // permission prompt is open. Copies of the take and the store travel with it.
    const QPointer<Studio> self = this;
    const ProjectStore store = *m_store;
    QTimer::singleShot(0, this, [self, take, store] {
        switch (self->m_services.microphone->status()) {
        case MicrophoneAccess::Status::authorised:
            self->continueRecording(take, store);
            return;
        case MicrophoneAccess::Status::restricted:
        case MicrophoneAccess::Status::denied:
            self->refuse(u"Разрешите микрофон в Системных настройках"_s);
            self->setBusy(false);
            return;
        case MicrophoneAccess::Status::notDetermined:
            self->m_services.microphone->request([self, take, store](bool granted) {
                // The answer may come on any thread; continue on ours, if we still exist.
                QMetaObject::invokeMethod(
                    self.data(),
                    [self, take, store, granted] {
                        if (!self)
                            return;
                        if (granted) {
                            self->continueRecording(take, store);
                        } else {
                            self->refuse(u"Разрешите микрофон в Системных настройках"_s);
                            self->setBusy(false);
                        }
                    },
                    Qt::QueuedConnection);
            });
            return;
        }
    });
}

void Studio::continueRecording(const Take &take, const ProjectStore &store)
{
    const bool started = attempt([&] {
        store.begin(take);
        setPendingTake(take);
        m_audio->start(store.audioURL(take));
    });
    if (started && m_audio->missingInput())
        setMessage(onDefaultInput(u"Идёт запись"_s, *m_audio->missingInput()), {Outcome::Result::done, {}, true});
    else if (started)
        setMessage(u"Идёт запись…"_s);
    setBusy(false);
}

Outcome Studio::stopRecording()
{
    m_audio->stopRecording();
    if (!m_pendingTake || !m_store)
        return {Outcome::Result::refused, {}};
    const Take take = *m_pendingTake;
    attempt([&] {
        if (!files::exists(m_store->audioURL(take)))
            throw StudioError(u"Аудиофайл не создан. Отмените этот дубль и проверьте микрофон"_s);
        if (m_audio->capturedFrames() == 0)
            throw StudioError(u"Микрофон не передал звук. Отмените этот дубль и проверьте микрофон"_s);
        setTakes(m_store->complete(take, m_takes));
        setPendingTake(std::nullopt);
        if (const std::optional<QString> &missing = m_audio->missingInput()) {
            setMessage(onDefaultInput(u"Дубль сохранён"_s, *missing), {Outcome::Result::done, {}, true});
        } else {
            setMessage(u"Дубль сохранён"_s);
            m_figuresNotice = {take.id, m_messageSerial};
        }
        analyse({take}, FiguresCache::Scope::someTakes);
    });
    return m_outcome;
}

Outcome Studio::cancelRecording()
{
    m_audio->stopRecording();
    if (!m_pendingTake || !m_store)
        return {Outcome::Result::refused, {}};
    const Take take = *m_pendingTake;
    attempt([&] {
        m_store->cancel(take);
        setPendingTake(std::nullopt);
        setMessage(u"Запись отменена"_s, {Outcome::Result::cancelled, {}});
    });
    return m_outcome;
}

void Studio::onRecordingError(const QString &text)
{
    // A take the device cut short is kept, but never chosen in place of a whole one.
    if (m_pendingTake && m_pendingTake->selected) {
        Take take = *m_pendingTake;
        take.selected = false;
        setPendingTake(take);
    }
    const Outcome saved = stopRecording();
    // A take the device ended is saved, but the speaker must hear why it stopped; when it could
    // not be saved either, both reasons make one error.
    if (saved.result == Outcome::Result::failed) {
        report(text + u". "_s + saved.error);
        return;
    }
    const QString message = text + u". "_s + m_message;
    setMessage(message,
               saved.result == Outcome::Result::done ? Outcome{Outcome::Result::done, {}, true} : Outcome{saved.result, message});
}

} // namespace tarnwick
