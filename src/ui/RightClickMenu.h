#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

namespace tarnwick {

/// One entry of a context menu; an entry without a title is a divider.
struct ContextMenuAction
{
    QString title;
    QString systemImage; // a symbol name for the entry's icon; empty = none
    bool enabled = true;
    std::function<void()> handler;
    bool destructive = false;               // drawn in red
    std::vector<ContextMenuAction> submenu = {}; // when not empty, the entry opens these instead
    QString toolTip = {};
};

/// The one way the window's context menus open. Secondary presses over registered areas are
/// filtered for the whole application, so the press never reaches what lies beneath an area (a
/// table row, a cell's widget), while primary clicks, drags and scrolling pass through
/// untouched. Menus belong to the window, never to a cell's widgets, so a cell rebuilt by an
/// entry's handler cannot take an open menu with it.
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

    /// Builds a menu from `actions` and shows it at `globalPosition` until it closes; the menu
    /// belongs to `anchor`'s window.
    static void show(const QList<ContextMenuAction> &actions, QWidget *anchor, QPoint globalPosition);

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
