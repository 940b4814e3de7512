#include "ui/TrimStrip.h"

#include "audio/AudioFile.h"
#include "studio/Studio.h"
#include "ui/Symbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tarnwick {

/// The take's waveform on a linear time axis over the whole width, the trimmed-off ends dimmed,
/// with a handle at each point. A handle follows the pointer; the release reports the points.
class TrimWaveform final : public QWidget
{
public:
    static constexpr double grabDistance = 8.0; // pixels either side of a handle
    static constexpr double shortest = 0.05;    // seconds between the points

    explicit TrimWaveform(QWidget *parent)
        : QWidget(parent)
    {
        setMinimumHeight(44);
        setCursor(Qt::SizeHorCursor);
    }

    void setPoints(double duration, double in, double out)
    {
        m_duration = duration;
        m_in = in;
        m_out = out;
        update();
    }
    void setPeaks(QList<float> peaks)
    {
        m_peaks = std::move(peaks);
        update();
    }
    double in() const { return m_in; }
    double out() const { return m_out; }

    std::function<void()> moved;    // while a handle is dragged
    std::function<void()> released; // the drag ended: the points are the user's

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setPen(QPen(palette().color(QPalette::Mid), 1));
        painter.setBrush(palette().color(QPalette::Base));
        painter.drawRoundedRect(area, 6, 6);
        if (m_duration <= 0.0)
            return;
        const QColor kept = palette().color(QPalette::Highlight);
        const QColor cut = palette().color(QPalette::Mid);
        const double middle = height() / 2.0;
        for (int x = 0; x < width() && !m_peaks.isEmpty(); ++x) {
            const qsizetype bin = std::min<qsizetype>(qsizetype(x) * m_peaks.size() / width(), m_peaks.size() - 1);
            const double half = std::max(0.5, double(m_peaks.at(bin)) * (middle - 3));
            const double seconds = secondsAt(x + 0.5);
            painter.setPen(seconds >= m_in && seconds <= m_out ? kept : cut);
            painter.drawLine(QPointF(x + 0.5, middle - half), QPointF(x + 0.5, middle + half));
        }
        for (const double point : {m_in, m_out}) {
            const double x = xOf(point);
            painter.setPen(QPen(kept.darker(130), 2));
            painter.drawLine(QPointF(x, 2), QPointF(x, height() - 2));
            painter.setBrush(kept.darker(130));
            painter.drawRoundedRect(QRectF(x - 4, 2, 8, 10), 2, 2);
        }
    }
    void mousePressEvent(QMouseEvent *event) override
    {
        const double x = event->position().x();
        const double toIn = std::abs(x - xOf(m_in));
        const double toOut = std::abs(x - xOf(m_out));
        m_dragging = std::min(toIn, toOut) > grabDistance ? Handle::none : toIn < toOut ? Handle::in : Handle::out;
    }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (m_dragging == Handle::none)
            return;
        const double seconds = secondsAt(event->position().x());
        if (m_dragging == Handle::in)
            m_in = std::clamp(seconds, 0.0, std::max(0.0, m_out - shortest));
        else
            m_out = std::clamp(seconds, std::min(m_duration, m_in + shortest), m_duration);
        update();
        if (moved)
            moved();
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        if (m_dragging == Handle::none)
            return;
        mouseMoveEvent(event);
        m_dragging = Handle::none;
        if (released)
            released();
    }

private:
    enum class Handle { none, in, out };

    double xOf(double seconds) const { return seconds / m_duration * width(); }
    double secondsAt(double x) const { return std::clamp(x / width(), 0.0, 1.0) * m_duration; }

    QList<float> m_peaks;
    double m_duration = 0.0;
    double m_in = 0.0;
    double m_out = 0.0;
    Handle m_dragging = Handle::none;
};

TrimStrip::TrimStrip(Studio &studio, QWidget *parent)
    : QWidget(parent)
    , m_studio(studio)
{
    setObjectName(u"trimStrip"_s);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(16, 6, 16, 6);
    row->setSpacing(12);
    m_title = new QLabel(this);
    m_title->setMinimumWidth(150);
    row->addWidget(m_title);
    m_waveform = new TrimWaveform(this);
    m_waveform->setObjectName(u"trimWaveform"_s);
    m_waveform->setToolTip(u"Перетащите начало или конец: файл дубля не меняется"_s);
    row->addWidget(m_waveform, 1);
    m_points = new QLabel(this);
    m_points->setObjectName(u"trimPoints"_s);
    row->addWidget(m_points);
    m_reset = new QPushButton(symbol(u"scissors"_s), u"Сбросить обрезку"_s, this);
    m_reset->setObjectName(u"resetTrim"_s);
    m_reset->setToolTip(u"Вернуть начало и конец, найденные по речи"_s);
    m_reset->setAutoDefault(false);
    m_reset->setFocusPolicy(Qt::TabFocus);
    row->addWidget(m_reset);

    m_waveform->moved = [this] { showPoints(); };
    m_waveform->released = [this] {
        if (m_take)
            m_studio.setTrim(m_take->id, m_waveform->in(), m_waveform->out());
        showTake(); // what the studio kept, which is what was saved
    };
    connect(m_reset, &QPushButton::clicked, this, [this] {
        if (m_take)
            m_studio.resetTrim(m_take->id);
    });
    connect(&m_reading, &QFutureWatcher<QList<float>>::finished, this,
            [this] { m_waveform->setPeaks(m_reading.result()); });
    // The automatic points move when the take's speech has been found.
    for (auto signal : {&Studio::selectedRecordingIDChanged, &Studio::takesChanged, &Studio::pendingTakeChanged,
                        &Studio::figuresChanged})
        connect(&studio, signal, this, &TrimStrip::showTake);
    showTake();
}

TrimStrip::~TrimStrip() = default;

QString TrimStrip::clock(double seconds)
{
    const auto hundredths = static_cast<long long>(std::llround(std::max(seconds, 0.0) * 100));
    return QString::asprintf("%lld:%02lld.%02lld", hundredths / 6000, hundredths / 100 % 60, hundredths % 100);
}

void TrimStrip::showTake()
{
    const std::optional<Take> take =
        m_studio.pendingTake() ? std::nullopt : m_studio.selectedTake(m_studio.selectedRecordingID());
    const std::optional<double> duration = take ? m_studio.takeDuration(*take) : std::nullopt;
    const std::optional<TrimPoints> points = take ? m_studio.trimPoints(take->id) : std::nullopt;
    setVisible(duration && points);
    if (!duration || !points) {
        m_take.reset();
        return;
    }
    if (!m_take || m_take->id != take->id) {
        m_waveform->setPeaks({});
        const QString path = m_studio.store()->audioURL(*take);
        m_reading.setFuture(QtConcurrent::run([path] { return audioFilePeaks(path, 1200); }));
    }
    m_take = take;
    const std::optional<ScriptBlock> block = m_studio.blockOfRecording(take->blockID);
    m_title->setText(u"Обрезка · блок "_s + (block ? block->number : QString()));
    m_waveform->setPoints(*duration, points->in, points->out);
    m_reset->setEnabled(!points->automatic);
    showPoints();
}

void TrimStrip::showPoints()
{
    m_points->setText(clock(m_waveform->in()) + u" – "_s + clock(m_waveform->out()));
}

} // namespace tarnwick
