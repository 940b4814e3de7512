#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace tarnwick {

/// The length of a sound file in seconds, from its header alone; none when it cannot be read.
std::optional<double> audioFileDuration(const QString &path);

/// The loudest sample magnitude (full scale = 1) in each of `bins` equal parts of a sound file's
/// first channel, for drawing its waveform; empty when it cannot be read. Reads the whole file.
QList<float> audioFilePeaks(const QString &path, qsizetype bins);

} // namespace tarnwick
