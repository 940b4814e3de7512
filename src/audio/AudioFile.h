#pragma once

#include <QString>

#include <optional>

namespace tarnwick {

/// The length of a sound file in seconds, from its header alone; none when it cannot be read.
std::optional<double> audioFileDuration(const QString &path);

} // namespace tarnwick
