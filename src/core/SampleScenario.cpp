#include "core/SampleScenario.h"

#include "core/StudioError.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace tarnwick {

QList<ScriptBlock> sampleScenario()
{
    const QString path = u":/scenario.json"_s;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw StudioError(u"Не найден пример сценария. Откройте проект или импортируйте JSON/XLSX"_s);
    return decodeScenario(file.readAll(), path);
}

} // namespace tarnwick
