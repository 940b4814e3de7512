#pragma once

#include <QString>

class QWidget;

namespace tarnwick {

class Studio;
struct Take;

/// Asks for a take's note and rating (0 to 3) and saves what changed through the studio.
void editTakeNote(Studio &studio, const Take &take, QWidget *parent);

/// "Оценка: ★★☆" and "Заметка: …" on lines of their own, for what the take has; empty otherwise.
QString takeReviewText(const Take &take);

} // namespace tarnwick
