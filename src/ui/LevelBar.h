#pragma once

#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

namespace tarnwick {

class AudioController;

/// A horizontal meter of one level in 0...1: a grey track and a capsule fill, green while a
/// recording runs. The fill glides to each new reading over one meter tick.
class LevelBar : public QWidget
{
    Q_OBJECT

public:
    explicit LevelBar(QWidget *parent = nullptr);

    void setLevel(float level);
    void setActive(bool active);
    float level() const { return m_level; }
    bool active() const { return m_active; }

    /// The fill's width for a level in a track `width` wide: never narrower than the capsule's ends.
    static qreal fillWidth(float level, qreal width);

    QSize sizeHint() const override { return {180, 8}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    float m_level = 0.0f;
    bool m_active = false;
    QVariantAnimation m_glide;
};

/// The level bar of the status bar, following the controller's level and recording state.
class LiveLevelBar final : public LevelBar
{
    Q_OBJECT

public:
    explicit LiveLevelBar(AudioController &audio, QWidget *parent = nullptr);
};

} // namespace tarnwick
