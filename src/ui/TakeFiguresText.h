#pragma once

#include "core/TakeAnalysis.h"

#include <QList>
#include <QString>

#include <optional>

namespace tarnwick {

/// The mark after a take's title when its figures raise a flag; empty otherwise or while the
/// take is not yet analysed.
QString flagMark(const std::optional<TakeFigures> &figures);

/// The flags in words for the speaker, "перегрузка, шумно"; empty for none.
QString flagsText(const QList<TakeFlag> &flags);

/// A take's figures for a tooltip, one per line, its flags first; empty while not analysed.
QString figuresToolTip(const std::optional<TakeFigures> &figures);

} // namespace tarnwick
