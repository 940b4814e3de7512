#pragma once

#include "core/ScriptBlock.h"

#include <QList>
#include <QString>

namespace tarnwick {

/// A scenario from a file as it is imported: an XLSX workbook when the extension is "xlsx" in any
/// case, otherwise a JSON array of blocks; then the scenario check. Throws StudioError naming the
/// file. Touches nothing shared, so it may run on a worker thread.
QList<ScriptBlock> readScenarioFile(const QString &path);

/// The name a project made from `path` gets: the file's name without its last extension.
QString scenarioFileTitle(const QString &path);

} // namespace tarnwick
