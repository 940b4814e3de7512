#include "support/Workbook.h"

#include <QFile>
#include <QTemporaryDir>

#include <zip.h>

#include <stdexcept>
#include <xlsxwriter.h>

namespace tarnwick::testing {

namespace {

// The fuzz targets build this file without the test framework, so no gtest helpers here.
QByteArray contents(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read back " + path.toStdString());
    return file.readAll();
}

} // namespace

QByteArray workbook(const SheetRows &rows)
{
    const QTemporaryDir folder;
    const QByteArray path = QFile::encodeName(folder.filePath(QStringLiteral("book.xlsx")));
    lxw_workbook *book = workbook_new(path.constData());
    lxw_worksheet *sheet = book ? workbook_add_worksheet(book, nullptr) : nullptr;
    if (!sheet)
        throw std::runtime_error("libxlsxwriter cannot start a workbook");
    for (qsizetype r = 0; r < rows.size(); ++r) {
        for (qsizetype c = 0; c < rows[r].size(); ++c) {
            const QVariant &cell = rows[r][c];
            if (cell.typeId() == QMetaType::Double)
                worksheet_write_number(sheet, lxw_row_t(r), lxw_col_t(c), cell.toDouble(), nullptr);
            else if (!cell.isNull())
                worksheet_write_string(sheet, lxw_row_t(r), lxw_col_t(c), cell.toString().toUtf8().constData(), nullptr);
        }
    }
    if (workbook_close(book) != LXW_NO_ERROR)
        throw std::runtime_error("libxlsxwriter cannot write the workbook");
    return contents(QFile::decodeName(path));
}

QByteArray zipArchive(const ZipEntries &entries)
{
    const QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("archive.zip"));
    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip)
        throw std::runtime_error("libzip cannot create an archive");
    for (const auto &[name, bytes] : entries) {
        // libzip reads the data only in zip_close, so `entries` must outlive that call; it does.
        zip_source_t *data = zip_source_buffer(zip, bytes.constData(), zip_uint64_t(bytes.size()), 0);
        if (!data || zip_file_add(zip, name.toUtf8().constData(), data, ZIP_FL_ENC_UTF_8) < 0)
            throw std::runtime_error(zip_strerror(zip));
    }
    if (zip_close(zip) != 0)
        throw std::runtime_error(zip_strerror(zip));
    return contents(path);
}

QByteArray package(const QByteArray &sheet, const std::optional<QByteArray> &sharedStrings)
{
    ZipEntries entries = {{QStringLiteral("xl/worksheets/sheet1.xml"), sheet}};
    if (sharedStrings)
        entries.append({QStringLiteral("xl/sharedStrings.xml"), *sharedStrings});
    return zipArchive(entries);
}

} // namespace tarnwick::testing
