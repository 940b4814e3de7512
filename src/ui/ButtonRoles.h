#pragma once

class QPushButton;

namespace tarnwick {

/// The accent-filled look of a main command ("Сохранить", "Импорт сценария").
void makeProminent(QPushButton *button);
/// The red look of a command that throws something away ("Отменить").
void makeDestructive(QPushButton *button);

} // namespace tarnwick
