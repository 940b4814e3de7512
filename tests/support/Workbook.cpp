#include "support/Workbook.h"

#include <QHash>
#include <QtEndian>

#include <zip.h>

#include <cstring>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace tarnwick::testing {

namespace {

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QString columnName(qsizetype column)
{
    return QString(QChar(u'A' + static_cast<char16_t>(column)));
}

} // namespace

QByteArray zipArchive(const QList<ZipEntry> &entries)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *target = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t *zip = target ? zip_open_from_source(target, ZIP_TRUNCATE, &error) : nullptr;
    if (!zip)
        throw std::runtime_error(zip_error_strerror(&error));
    zip_source_keep(target);
    for (const ZipEntry &entry : entries) {
        // libzip reads the data only in zip_close, so `entries` must outlive that call; it does.
        zip_source_t *data =
            zip_source_buffer(zip, entry.bytes.constData(), static_cast<zip_uint64_t>(entry.bytes.size()), 0);
        const zip_int64_t index =
            data ? zip_file_add(zip, entry.name.toUtf8().constData(), data, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0
            || zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 0) != 0)
            throw std::runtime_error(zip_strerror(zip));
    }
    if (zip_close(zip) != 0)
        throw std::runtime_error(zip_strerror(zip));

    QByteArray bytes;
    zip_stat_t stat;
    if (zip_source_stat(target, &stat) != 0 || zip_source_open(target) != 0)
        throw std::runtime_error("cannot read the archive back");
    bytes.resize(static_cast<qsizetype>(stat.size));
    const zip_int64_t read = zip_source_read(target, bytes.data(), stat.size);
    zip_source_close(target);
    zip_source_free(target);
    if (read != static_cast<zip_int64_t>(stat.size))
        throw std::runtime_error("short read of the archive");
    return bytes;
}

namespace {

// Header fields sit at fixed offsets; the data of these test archives never holds a signature.
QByteArray patched(QByteArray archive, qsizetype localOffset, qsizetype centralOffset, quint32 value)
{
    const auto patch = [&](const char *signature, qsizetype offset) {
        for (qsizetype at = archive.indexOf(signature); at >= 0; at = archive.indexOf(signature, at + 4))
            qToLittleEndian(value, archive.data() + at + offset);
    };
    patch("PK\x03\x04", localOffset);
    patch("PK\x01\x02", centralOffset);
    return archive;
}

} // namespace

QByteArray withDeclaredSize(QByteArray archive, quint32 size)
{
    return patched(std::move(archive), 22, 24, size);
}

QByteArray withChecksum(QByteArray archive, quint32 crc)
{
    return patched(std::move(archive), 14, 16, crc);
}

QByteArray sheetXml(const SheetRows &rows, Strings strings, QByteArray *sharedStringsXml)
{
    QStringList table;
    QHash<QString, qsizetype> indexes;
    QString sheet =
        u"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>"_s;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const QString row = QString::number(r + 1);
        sheet += u"<row r=\""_s + row + u"\">"_s;
        for (qsizetype c = 0; c < rows[r].size(); ++c) {
            if (!rows[r][c])
                continue;
            const QString reference = columnName(c) + row;
            const QString &text = *rows[r][c];
            if (strings == Strings::Inline) {
                sheet += u"<c r=\""_s + reference + u"\" t=\"inlineStr\"><is><t xml:space=\"preserve\">"_s
                         + escaped(text) + u"</t></is></c>"_s;
                continue;
            }
            if (!indexes.contains(text)) {
                indexes.insert(text, table.size());
                table.append(text);
            }
            sheet += u"<c r=\""_s + reference + u"\" t=\"s\"><v>"_s + QString::number(indexes.value(text))
                     + u"</v></c>"_s;
        }
        sheet += u"</row>"_s;
    }
    sheet += u"</sheetData></worksheet>"_s;

    if (sharedStringsXml) {
        QString shared = u"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                         "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\""_s
                         + QString::number(table.size()) + u"\">"_s;
        for (const QString &text : table)
            shared += u"<si><t xml:space=\"preserve\">"_s + escaped(text) + u"</t></si>"_s;
        shared += u"</sst>"_s;
        *sharedStringsXml = shared.toUtf8();
    }
    return sheet.toUtf8();
}

QByteArray workbook(const SheetRows &rows, Strings strings)
{
    QByteArray shared;
    const QByteArray sheet = sheetXml(rows, strings, &shared);
    return package(sheet, strings == Strings::Shared ? std::optional<QByteArray>(shared) : std::nullopt);
}

QByteArray package(const QByteArray &sheet, const std::optional<QByteArray> &sharedStrings)
{
    QList<ZipEntry> entries = {
        {u"[Content_Types].xml"_s,
         R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="xml" ContentType="application/xml"/></Types>)"},
        {u"xl/workbook.xml"_s,
         R"(<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheets><sheet name="Сценарий" sheetId="1"/></sheets></workbook>)"},
        {u"xl/worksheets/sheet1.xml"_s, sheet},
    };
    if (sharedStrings)
        entries.append({u"xl/sharedStrings.xml"_s, *sharedStrings});
    return zipArchive(entries);
}

} // namespace tarnwick::testing
