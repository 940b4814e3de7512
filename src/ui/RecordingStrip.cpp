#include "ui/RecordingStrip.h"

#include "audio/AudioController.h"
#include "ui/ButtonRoles.h"
#include "ui/LevelBar.h"
#include "ui/RecordingWaveform.h"
#include "ui/Symbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tarnwick {

RecordingStrip::RecordingStrip(AudioController &audio,
                               std::function<void()> save,
                               std::function<void()> cancel,
                               QWidget *parent)
    : QWidget(parent)
    , m_audio(audio)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(9, 5, 9, 5);
    row->setSpacing(10);

    m_time = new QLabel(this);
    QFont font = m_time->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    font.setWeight(QFont::DemiBold);
    m_time->setFont(font);
    m_time->setFixedWidth(38);
    m_time->setStyleSheet(u"color: #ff3b30;"_s); // the table hands its palette to the widgets inside it
    row->addWidget(m_time);

    m_waveform = new RecordingWaveform(this);
    row->addWidget(m_waveform, 1);

    m_cancel = new QPushButton(symbol(u"xmark"_s), u"Отменить"_s, this);
    m_cancel->setToolTip(u"Остановить и удалить эту запись"_s);
    m_save = new QPushButton(symbol(u"checkmark"_s), u"Сохранить"_s, this);
    m_save->setDefault(true);
    makeDestructive(m_cancel);
    makeProminent(m_save);
    for (QPushButton *button : {m_cancel, m_save}) {
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::TabFocus);
        row->addWidget(button);
    }
    connect(m_cancel, &QPushButton::clicked, this, [cancel = std::move(cancel)] { cancel(); });
    connect(m_save, &QPushButton::clicked, this, [save = std::move(save)] { save(); });

    showLevels();
    showDuration();
    connect(&audio, &AudioController::levelHistoryChanged, m_waveform, [this] { showLevels(); });
    connect(&audio, &AudioController::recordingDurationChanged, this, &RecordingStrip::showDuration);
}

QString RecordingStrip::elapsed(double seconds)
{
    const auto whole = static_cast<long long>(std::trunc(std::max(seconds, 0.0)));
    return QString::asprintf("%lld:%02lld", whole / 60, whole % 60);
}

void RecordingStrip::showLevels()
{
    // On the meter's scale, so speech fills the strip as it fills the meter.
    QList<float> samples;
    samples.reserve(m_audio.powerHistory().size());
    for (const float power : m_audio.powerHistory())
        samples.append(LevelBar::fraction(power));
    m_waveform->setSamples(samples);
}

void RecordingStrip::showDuration()
{
    const QString text = elapsed(m_audio.recordingDuration());
    if (m_time->text() == text)
        return;
    m_time->setText(text);
    setAccessibleName(u"Идёт запись, "_s + text);
}

void RecordingStrip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(255, 59, 48, 61), 1));
    painter.setBrush(QColor(255, 59, 48, 20));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
}

} // namespace tarnwick
