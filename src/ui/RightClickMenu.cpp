#include "ui/RightClickMenu.h"

#include "ui/Symbols.h"

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QWindow>

namespace tarnwick {

RightClickMenu::RightClickMenu(QObject *parent)
    : QObject(parent)
{
    qApp->installEventFilter(this);
}

RightClickMenu::~RightClickMenu()
{
    qApp->removeEventFilter(this);
}

void RightClickMenu::addArea(QWidget *area, Provider provider)
{
    m_areas.append(Area{area, std::move(provider)});
}

void RightClickMenu::show(const QList<ContextMenuAction> &actions, QWidget *parent, QPoint globalPosition)
{
    if (actions.isEmpty())
        return;
    QMenu menu(parent);
    for (const ContextMenuAction &entry : actions) {
        QAction *action = menu.addAction(entry.title);
        if (!entry.systemImage.isEmpty())
            action->setIcon(symbol(entry.systemImage));
        action->setEnabled(entry.enabled);
        connect(action, &QAction::triggered, &menu, [handler = entry.handler] {
            if (handler)
                handler();
        });
    }
    menu.exec(globalPosition);
}

bool RightClickMenu::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::MouseButtonPress)
        return false;
    const auto *press = static_cast<QMouseEvent *>(event);
    if (press->button() != Qt::RightButton)
        return false;
    // A real press reaches the window first and the widget after; a synthetic one only the widget.
    QWindow *window = qobject_cast<QWindow *>(watched);
    if (!window) {
        const auto *widget = qobject_cast<QWidget *>(watched);
        window = widget ? widget->window()->windowHandle() : nullptr;
    }
    if (!window)
        return false;
    const QPoint global = press->globalPosition().toPoint();
    m_areas.removeIf([](const Area &area) { return area.widget.isNull(); });
    const QList<Area> snapshot = m_areas; // a handler may add or drop areas
    for (const Area &area : snapshot) {
        QWidget *widget = area.widget;
        if (!widget || widget->window()->windowHandle() != window || !widget->isVisible())
            continue;
        const QPoint local = widget->mapFromGlobal(global);
        if (!widget->rect().contains(local))
            continue;
        const std::optional<QList<ContextMenuAction>> actions = area.provider(local);
        if (!actions)
            continue;
        show(*actions, widget, global);
        return true;
    }
    return false;
}

} // namespace tarnwick
