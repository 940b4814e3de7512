#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace tarnwick::testing {

struct ZipEntry
{
    QString name;
    QByteArray bytes;
};

/// A deflated zip archive made with libzip, as spreadsheet programs write them.
QByteArray zipArchive(const QList<ZipEntry> &entries);

/// Rewrites the uncompressed size that the archive declares for every entry, leaving the data:
/// what a hostile archive does to slip a huge entry past a check of declared sizes.
QByteArray withDeclaredSize(QByteArray archive, quint32 size);
/// Rewrites every entry's CRC-32, so the data inflates whole and fails its check at the end.
QByteArray withChecksum(QByteArray archive, quint32 crc);

/// Cell texts from row 1 down, column A onwards; nullopt leaves the cell out of the sheet.
using SheetRows = QList<QList<std::optional<QString>>>;

enum class Strings {
    Shared, // text cells point into xl/sharedStrings.xml
    Inline, // text cells carry their text; the package has no string table
};

/// The XML of the sheet and string table for `rows`, and a workbook package holding them.
QByteArray sheetXml(const SheetRows &rows, Strings strings, QByteArray *sharedStringsXml = nullptr);
QByteArray workbook(const SheetRows &rows, Strings strings = Strings::Shared);

/// A package with the parts every workbook has, plus the given sheet and string table.
QByteArray package(const QByteArray &sheet, const std::optional<QByteArray> &sharedStrings = std::nullopt);

} // namespace tarnwick::testing
