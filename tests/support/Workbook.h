#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>
#include <utility>

namespace tarnwick::testing {

/// Cells from row 1 down, column A onwards: a QString is a text cell, a double a number, and a
/// null QVariant leaves the cell out.
using SheetRows = QList<QList<QVariant>>;

/// The one workbook writer of the tests: the bytes of an .xlsx that libxlsxwriter, a real
/// spreadsheet writer, makes of `rows` (shared strings, a CR as _x000D_, numbers in full).
QByteArray workbook(const SheetRows &rows);

/// Entry names and their bytes.
using ZipEntries = QList<std::pair<QString, QByteArray>>;

/// A deflated zip archive made with libzip, for packages whose XML a test writes by hand.
QByteArray zipArchive(const ZipEntries &entries);
/// A package with the given sheet and, when given, string table.
QByteArray package(const QByteArray &sheet, const std::optional<QByteArray> &sharedStrings = std::nullopt);

} // namespace tarnwick::testing
