#include "ui/RightClickMenu.h"

#include "ui/Symbols.h"

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace tarnwick {

namespace {

QIcon redIcon(const QIcon &icon)
{
    QPixmap picture = icon.pixmap(16, 16);
    QPainter painter(&picture);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(picture.rect(), QColor(255, 59, 48));
    painter.end();
    return QIcon(picture);
}

template<typename Entries>
void fill(QMenu &menu, const Entries &entries)
{
    menu.setToolTipsVisible(true);
    for (const ContextMenuAction &entry : entries) {
        if (entry.title.isEmpty()) {
            menu.addSeparator();
            continue;
        }
        if (!entry.submenu.empty()) {
            QMenu *submenu = menu.addMenu(entry.title);
            submenu->menuAction()->setToolTip(entry.toolTip);
            fill(*submenu, entry.submenu);
            continue;
        }
        QAction *action = menu.addAction(entry.title);
        action->setToolTip(entry.toolTip);
        if (!entry.systemImage.isEmpty())
            action->setIcon(entry.destructive ? redIcon(symbol(entry.systemImage)) : symbol(entry.systemImage));
        action->setEnabled(entry.enabled);
        QObject::connect(action, &QAction::triggered, &menu, [handler = entry.handler] {
            if (handler)
                handler();
        });
    }
}

} // namespace

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

void RightClickMenu::show(const QList<ContextMenuAction> &actions, QWidget *anchor, QPoint globalPosition)
{
    if (actions.isEmpty())
        return;
    QMenu menu(anchor->window());
    fill(menu, actions);
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
