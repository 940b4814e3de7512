#include "core/ScenarioFile.h"

#include "core/FileAccess.h"
#include "core/XLSXReader.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace tarnwick {

QList<ScriptBlock> readScenarioFile(const QString &path)
{
    const QList<ScriptBlock> blocks = QFileInfo(path).suffix().toLower() == u"xlsx"
                                          ? XLSXReader::read(path)
                                          : decodeScenario(files::read(path), path);
    ScriptBlock::validate(blocks);
    return blocks;
}

QString scenarioFileTitle(const QString &path)
{
    return QFileInfo(path).completeBaseName();
}

} // namespace tarnwick
