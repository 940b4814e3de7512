#pragma once

#include "core/ScriptBlock.h"

#include <QList>

namespace tarnwick {

/// The scenario shipped inside the program as the resource ":/scenario.json", decoded.
/// Throws StudioError when the resource is missing or does not decode.
QList<ScriptBlock> sampleScenario();

} // namespace tarnwick
