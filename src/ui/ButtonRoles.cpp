#include "ui/ButtonRoles.h"

#include <QPushButton>

namespace tarnwick {

// Only the enabled groups: a disabled button keeps the style's greyed look. Only these roles
// are set, so the rest still comes from the parent, as in the table.

void makeProminent(QPushButton *button)
{
    const QPalette base = button->palette();
    QPalette palette;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Button, base.color(group, QPalette::Highlight));
        palette.setColor(group, QPalette::ButtonText, base.color(group, QPalette::HighlightedText));
    }
    button->setPalette(palette);
}

void makeDestructive(QPushButton *button)
{
    QPalette palette;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::ButtonText, QColor(215, 0, 21));
    button->setPalette(palette);
}

} // namespace tarnwick
