#pragma once

#include "core/ScriptBlock.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace tarnwick {

/// Reads a scenario from a workbook made on the template: headers in row 1 (cells D1 and E1 must
/// exist), then one block per row: A number, B and C on-screen text, D and E voice text, F voice
/// status, H voice note. Only `xl/sharedStrings.xml` and `xl/worksheets/sheet1.xml` are read.
/// Holds no state; every call opens its own archive, so any thread may call it.
class XLSXReader final
{
public:
    /// Inflated bytes allowed per entry, counted as they come out of the decompressor.
    static constexpr qint64 entryLimit = 16 * 1024 * 1024;

    /// The blocks in ascending row order, possibly none. Throws StudioError in Russian naming
    /// the file (and the entry, line and column for bad XML); never returns a partial result.
    static QList<ScriptBlock> read(const QString &path);
    /// The same for a workbook already in memory; `fileName` is what errors call it.
    static QList<ScriptBlock> read(const QByteArray &archive, const QString &fileName);

    XLSXReader() = delete;
};

} // namespace tarnwick
