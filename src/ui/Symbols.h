#pragma once

#include <QIcon>
#include <QString>

namespace tarnwick {

/// The icon for one of the window's symbol names ("folder", "mic.fill", "trash"...): the
/// desktop's icon theme first, else a picture drawn here in the palette's text colour. Null for a
/// name the window does not use.
QIcon symbol(const QString &name);

} // namespace tarnwick
