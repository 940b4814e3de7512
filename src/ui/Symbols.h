#pragma once

#include <QIcon>
#include <QString>

namespace tarnwick {

/// The icon for one of the window's symbol names ("folder", "mic.fill", "trash"...): the
/// desktop's icon theme first, the style's own pictures when the theme has none.
QIcon symbol(const QString &name);

} // namespace tarnwick
