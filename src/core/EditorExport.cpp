#include "core/EditorExport.h"

#include "core/StudioError.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace tarnwick {

QString exportSummaryText(const ExportSummary &summary)
{
    const qint64 seconds = std::llround(summary.durationSeconds);
    QString text = u"Экспортировано файлов: "_s + QString::number(summary.fileCount) + u", длительность "_s
                   + QString::number(seconds / 3600) + u':' + u"%1"_s.arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
                   + u':' + u"%1"_s.arg(seconds % 60, 2, 10, QChar(u'0'));
    if (summary.missingCount > 0)
        text += u"; без выбранного дубля: "_s + QString::number(summary.missingCount) + u" (см. missing.txt)"_s;
    return text;
}

ExportSummary exportForEditor(const ExportProject &, const QString &, const ExportOptions &, const ExportControl &)
{
    throw StudioError(u"Экспорт для монтажа ещё не готов"_s);
}

} // namespace tarnwick
