#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

namespace tarnwick {

/// One entry of a context menu.
struct ContextMenuAction
{
    QString title;
    QString systemImage; // a symbol name for the entry's icon; empty = none
    bool enabled = true;
    std::function<void()> handler;
};

/// Opens context menus for secondary presses over registered areas. It filters the whole
/// application, so the press never reaches what lies beneath an area (a table row, say), while
/// primary clicks, drags and scrolling pass through untouched.
class RightClickMenu final : public QObject
{
    Q_OBJECT

public:
    /// The entries for a press at a point of the area; nothing lets the press through to the
    /// widget beneath, and an empty list swallows it without a menu.
    using Provider = std::function<std::optional<QList<ContextMenuAction>>(QPoint)>;

    explicit RightClickMenu(QObject *parent = nullptr);
    ~RightClickMenu() override;

    /// Menus for presses inside `area` while it is visible; forgotten when the area is destroyed.
    void addArea(QWidget *area, Provider provider);

    /// Builds a menu from `actions` and shows it at `globalPosition` until it closes.
    static void show(const QList<ContextMenuAction> &actions, QWidget *parent, QPoint globalPosition);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Area
    {
        QPointer<QWidget> widget;
        Provider provider;
    };
    QList<Area> m_areas;
};

} // namespace tarnwick
