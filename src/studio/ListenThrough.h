#pragma once

#include "core/ScriptBlock.h"
#include "core/Take.h"
#include "core/VoiceSegment.h"

#include <QObject>
#include <QStringList>

#include <chrono>
#include <deque>
#include <memory>
#include <optional>

namespace tarnwick {

class AudioTimer;
class Studio;

/// Plays the chosen takes one after another in script order, each trimmed and at the export
/// gain, with a short silence between them. Each segment is chosen as it starts, so the window
/// shows where the speaker is. Anything else the user does ends it.
class ListenThrough final : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds gap{500};

    explicit ListenThrough(Studio &studio);
    ~ListenThrough() override;

    bool listening() const { return m_listening; }
    /// From the chosen block's first segment to the end of the scenario.
    void start();
    void stop();

signals:
    void listeningChanged();

private:
    struct Step
    {
        ScriptBlock block;
        VoiceSegment segment;
        std::optional<Take> take; // none: skipped, and named at the end
    };

    void playNext();
    void playbackChanged();
    void interrupted();
    void finish(const QString &summary);
    void setListening(bool listening);

    Studio &m_studio;
    bool m_listening = false;
    bool m_acting = false; // our own selection and playback changes are not the user's
    std::deque<Step> m_steps;
    std::optional<Take> m_playing;
    QStringList m_skipped; // "3" or "3 (intro)"
    std::unique_ptr<AudioTimer> m_gapTimer;
};

} // namespace tarnwick
