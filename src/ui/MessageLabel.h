#pragma once

#include <QLabel>

namespace tarnwick {

/// A text wrapped to at most two lines in the width it is given, the rest cut with an ellipsis
/// and kept whole in the tooltip and in the "copy" of its menu. Never asks for more width, so
/// it cannot push or cover its neighbours.
class MessageLabel final : public QLabel
{
    Q_OBJECT

public:
    explicit MessageLabel(QWidget *parent = nullptr);

    void setFullText(const QString &text);
    const QString &fullText() const { return m_fullText; }
    /// True when the two lines do not hold the whole text.
    bool isCut() const { return m_cut; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void layOut();

    QString m_fullText;
    bool m_cut = false;
};

} // namespace tarnwick
