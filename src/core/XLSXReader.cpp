#include "core/XLSXReader.h"

#include "core/FileAccess.h"
#include "core/StudioError.h"

#include <QFile>
#include <QHash>
#include <QXmlStreamReader>

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

constexpr zip_int64_t chunkSize = 65536;

QString sharedStringsEntry()
{
    return u"xl/sharedStrings.xml"_s;
}

QString sheetEntry()
{
    return u"xl/worksheets/sheet1.xml"_s;
}

[[noreturn]] void throwDamaged(const QString &file, const QString &detail = {})
{
    QString message = u"Файл «"_s + file + u"» повреждён или не является книгой XLSX"_s;
    if (!detail.isEmpty())
        message += u": "_s + detail;
    throw StudioError(message);
}

/// The three parser events the template needs. Element names arrive as local names, so a
/// writer that puts a namespace prefix on every element reads like any other.
class XmlHandler
{
public:
    virtual ~XmlHandler() = default;
    virtual void startElement(QStringView name, const QXmlStreamReader &xml) = 0; // attributes on demand
    virtual void characters(QStringView text) = 0;
    virtual void endElement(QStringView name) = 0;
};

/// The text a spreadsheet shows for an ST_Xstring: every `_xHHHH_` stands for the character
/// U+HHHH (Excel writes a CR in a cell as `_x000D_`), and `_x005F_` for a lone underscore, so
/// `_x005F_x000D_` is the literal text "_x000D_".
QString decodeEscapes(const QString &text)
{
    if (!text.contains(u"_x"_s))
        return text;
    const auto hexDigit = [](QChar ch) {
        return (ch >= u'0' && ch <= u'9') || (ch >= u'a' && ch <= u'f') || (ch >= u'A' && ch <= u'F');
    };
    QString result;
    result.reserve(text.size());
    qsizetype at = 0;
    while (at < text.size()) {
        const QStringView rest = QStringView(text).mid(at);
        if (rest.size() >= 7 && rest.at(0) == u'_' && rest.at(1) == u'x'
            && rest.at(6) == u'_' && std::all_of(rest.begin() + 2, rest.begin() + 6, hexDigit)) {
            result += QChar(rest.mid(2, 4).toUShort(nullptr, 16));
            at += 7;
        } else {
            result += text.at(at);
            ++at;
        }
    }
    return result;
}

/// A number as the spreadsheet shows it in a General cell: at most 15 significant digits and no
/// trailing zeros, so the 10.199999999999999 that Excel stores for 10.2 reads 10.2 again.
QString shownNumber(const QString &value)
{
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return value;
    return QString::number(number, 'g', 15);
}

class SharedStringsParser final : public XmlHandler
{
public:
    QList<QString> strings;

    void startElement(QStringView name, const QXmlStreamReader &) override
    {
        if (name == u"si") {
            text.clear();
        } else if (name == u"t") {
            insideText = true;
            run.clear();
        } else if (name == u"rPh") {
            ++phoneticDepth;
        }
    }
    void characters(QStringView chunk) override
    {
        // A phonetic run is a reading aid the spreadsheet never shows in the cell.
        if (insideText && phoneticDepth == 0)
            run += chunk;
    }
    void endElement(QStringView name) override
    {
        if (name == u"t") {
            if (insideText)
                text += decodeEscapes(run);
            insideText = false;
        } else if (name == u"si") {
            strings.append(text);
        } else if (name == u"rPh" && phoneticDepth > 0) {
            --phoneticDepth;
        }
    }

private:
    QString text;
    QString run; // the text of the current `t`: an escape may arrive split across chunks
    bool insideText = false;
    int phoneticDepth = 0;
};

/// An optional sign then ASCII digits only, within 64 bits.
std::optional<qint64> decimalInteger(QStringView text)
{
    const QStringView digits = text.startsWith(u'+') || text.startsWith(u'-') ? text.mid(1) : text;
    if (digits.isEmpty())
        return std::nullopt;
    for (const QChar ch : digits) {
        if (ch < u'0' || ch > u'9')
            return std::nullopt;
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

class SheetParser final : public XmlHandler
{
public:
    explicit SheetParser(QList<QString> shared)
        : sharedStrings(std::move(shared))
    {
    }

    QHash<QString, QString> cells;

    void startElement(QStringView name, const QXmlStreamReader &xml) override
    {
        if (name == u"c") {
            const QXmlStreamAttributes attributes = xml.attributes();
            reference = attributes.value("r"_L1).toString();
            type = attributes.value("t"_L1).toString();
            value.clear();
        } else if (name == u"v" || name == u"t") {
            readingValue = true;
            run.clear();
        } else if (name == u"rPh") {
            ++phoneticDepth;
        }
    }
    void characters(QStringView chunk) override
    {
        if (readingValue && phoneticDepth == 0)
            run += chunk;
    }
    void endElement(QStringView name) override
    {
        if (name == u"v" || name == u"t") {
            // Inline text and a formula's text result are escaped strings; a `v` of a shared
            // string is an index, of a number a number.
            if (readingValue)
                value += name == u"t" || type == u"str" ? decodeEscapes(run) : run;
            readingValue = false;
        } else if (name == u"rPh" && phoneticDepth > 0) {
            --phoneticDepth;
        } else if (name == u"c" && !reference.isEmpty()) {
            cells.insert(reference, cellText());
        }
    }

private:
    QString cellText() const
    {
        if (type == u"s") {
            const std::optional<qint64> index = decimalInteger(value);
            if (index && *index >= 0 && *index < sharedStrings.size())
                return sharedStrings.at(static_cast<qsizetype>(*index));
        }
        if (type.isEmpty() || type == u"n")
            return shownNumber(value);
        return value;
    }

    QList<QString> sharedStrings;
    QString reference;
    QString type;
    QString value;
    QString run; // the text of the current `v` or `t`
    bool readingValue = false;
    int phoneticDepth = 0;
};

struct ZipDeleter
{
    void operator()(zip_t *zip) const { zip_discard(zip); }
    void operator()(zip_file_t *file) const { zip_fclose(file); }
};
using ZipArchive = std::unique_ptr<zip_t, ZipDeleter>;
using ZipFile = std::unique_ptr<zip_file_t, ZipDeleter>;

class ZipError
{
public:
    ZipError() { zip_error_init(&m_error); }
    ~ZipError() { zip_error_fini(&m_error); }
    ZipError(const ZipError &) = delete;
    ZipError &operator=(const ZipError &) = delete;
    zip_error_t *get() { return &m_error; }

private:
    zip_error_t m_error;
};

/// Opens the archive; a source that cannot even be read is reported like any unreadable file,
/// everything else (not a zip, truncated, inconsistent) as a damaged workbook.
ZipArchive openArchive(zip_source_t *source, const QString &file, ZipError &error)
{
    if (!source)
        throw StudioError(u"Не удалось прочитать файл «"_s + file + u"»: "_s
                          + files::reason(zip_error_code_system(error.get())));
    zip_t *zip = zip_open_from_source(source, ZIP_RDONLY, error.get());
    if (!zip) {
        zip_source_free(source);
        const int code = zip_error_code_zip(error.get());
        if (code == ZIP_ER_NOENT)
            throw StudioError(u"Не удалось прочитать файл «"_s + file + u"»: "_s + files::reason(ENOENT));
        if ((code == ZIP_ER_OPEN || code == ZIP_ER_READ) && zip_error_system_type(error.get()) == ZIP_ET_SYS)
            throw StudioError(u"Не удалось прочитать файл «"_s + file + u"»: "_s
                              + files::reason(zip_error_code_system(error.get())));
        throwDamaged(file);
    }
    return ZipArchive(zip);
}

[[noreturn]] void
throwXmlError(const QString &file, const QString &entry, const QXmlStreamReader &xml, const QString &problem)
{
    // Qt gives the count of characters read on the line: the 1-based column of the last one,
    // where the fault was seen.
    throw StudioError(u"Файл «"_s + file + u"», часть «"_s + entry + u"»: ошибка XML в строке "_s
                      + QString::number(std::max<qint64>(xml.lineNumber(), 1)) + u", столбце "_s
                      + QString::number(std::max<qint64>(xml.columnNumber(), 1)) + u": "_s + problem);
}

QString xmlProblem(const QXmlStreamReader &xml)
{
    switch (xml.error()) {
    case QXmlStreamReader::PrematureEndOfDocumentError:
        return u"документ обрывается"_s;
    case QXmlStreamReader::NoError:
    case QXmlStreamReader::CustomError:
    case QXmlStreamReader::NotWellFormedError:
    case QXmlStreamReader::UnexpectedElementError:
        break;
    }
    return u"нарушена разметка ("_s + xml.errorString() + u')';
}

/// Hands the events read so far to `handler`; stops when the parser wants more bytes.
void drain(QXmlStreamReader &xml, XmlHandler &handler, const QString &file, const QString &entry)
{
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            handler.startElement(xml.name(), xml);
            break;
        case QXmlStreamReader::Characters:
            handler.characters(xml.text());
            break;
        case QXmlStreamReader::EndElement:
            handler.endElement(xml.name());
            break;
        case QXmlStreamReader::DTD:
            // A workbook never carries a DTD; refusing it rules out entity-expansion bombs.
            throwXmlError(file, entry, xml, u"объявление DTD не допускается"_s);
        case QXmlStreamReader::Invalid:
            if (xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
                return;
            throwXmlError(file, entry, xml, xmlProblem(xml));
        case QXmlStreamReader::NoToken:
        case QXmlStreamReader::StartDocument:
        case QXmlStreamReader::EndDocument:
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::EntityReference:
        case QXmlStreamReader::ProcessingInstruction:
            break;
        }
    }
}

/// Inflates one entry and parses it as it comes out, so neither a lying size in the archive nor
/// a zip bomb can make the reader hold more than the limit. False when the entry is absent.
bool parseEntry(zip_t *zip, const QString &file, const QString &entry, XmlHandler &handler)
{
    const zip_int64_t index = zip_name_locate(zip, entry.toUtf8().constData(), ZIP_FL_ENC_GUESS);
    if (index < 0)
        return false;
    const ZipFile input(zip_fopen_index(zip, static_cast<zip_uint64_t>(index), 0));
    if (!input)
        throwDamaged(file, u"часть «"_s + entry + u"» не открывается"_s);

    QXmlStreamReader xml;
    QByteArray chunk(chunkSize, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        const zip_int64_t count = zip_fread(input.get(), chunk.data(), chunkSize);
        if (count < 0)
            throwDamaged(file, u"часть «"_s + entry + u"» не распаковывается"_s);
        if (count == 0)
            break;
        total += count;
        if (total > XLSXReader::entryLimit)
            throw StudioError(u"Лист XLSX слишком большой (лимит 16 МБ XML)"_s);
        xml.addData(chunk.first(static_cast<qsizetype>(count)));
        drain(xml, handler, file, entry);
    }
    if (total == 0)
        throwXmlError(file, entry, xml, u"часть пуста"_s);
    drain(xml, handler, file, entry);
    if (xml.hasError())
        throwXmlError(file, entry, xml, xmlProblem(xml));
    return true;
}

/// The row of a cell reference such as D12: the number after the leading letters.
std::optional<qint64> rowOf(const QString &reference)
{
    qsizetype at = 0;
    while (at < reference.size()) {
        const QChar ch = reference.at(at);
        if (ch.isHighSurrogate() && at + 1 < reference.size() && reference.at(at + 1).isLowSurrogate()) {
            if (!QChar::isLetter(QChar::surrogateToUcs4(ch, reference.at(at + 1))))
                break;
            at += 2;
        } else if (ch.isLetter()) {
            ++at;
        } else {
            break;
        }
    }
    if (at == reference.size())
        return std::nullopt;
    return decimalInteger(QStringView(reference).mid(at));
}

std::optional<QString> cell(const QHash<QString, QString> &cells, QChar column, qint64 row)
{
    const auto found = cells.constFind(column + QString::number(row));
    if (found == cells.cend())
        return std::nullopt;
    return *found;
}

QList<ScriptBlock> blocksFrom(const QHash<QString, QString> &cells)
{
    std::vector<qint64> rows;
    for (auto it = cells.cbegin(); it != cells.cend(); ++it) {
        if (const std::optional<qint64> row = rowOf(it.key()); row && *row > 1)
            rows.push_back(*row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (!cells.contains(u"D1"_s) || !cells.contains(u"E1"_s))
        throw StudioError(
            u"Ожидается шаблон XLSX: заголовки в первой строке, русский текст в D, английский в E"_s);

    QList<ScriptBlock> blocks;
    for (const qint64 row : rows) {
        const QString russian = cell(cells, u'D', row).value_or(QString());
        const QString english = cell(cells, u'E', row).value_or(QString());
        if (russian.isEmpty() && english.isEmpty())
            continue;
        QString number = cell(cells, u'A', row).value_or(QString());
        if (number.isEmpty())
            number = QString::number(row - 1);
        else if (number.endsWith(u".0"))
            number.chop(2);
        blocks.append(ScriptBlock{.id = u"row-"_s + QString::number(row),
                                  .number = number,
                                  .videoRussian = cell(cells, u'B', row),
                                  .videoEnglish = cell(cells, u'C', row),
                                  .russian = russian,
                                  .english = english,
                                  .voiceStatus = cell(cells, u'F', row),
                                  .voiceNote = cell(cells, u'H', row)});
    }
    return blocks;
}

QList<ScriptBlock> readArchive(zip_t *zip, const QString &file)
{
    SharedStringsParser shared;
    parseEntry(zip, file, sharedStringsEntry(), shared);
    SheetParser sheet(std::move(shared.strings));
    if (!parseEntry(zip, file, sheetEntry(), sheet))
        throwDamaged(file, u"нет листа «"_s + sheetEntry() + u'»');
    return blocksFrom(sheet.cells);
}

} // namespace

QList<ScriptBlock> XLSXReader::read(const QString &path)
{
    // libzip takes a folder for a damaged archive; say what it really is.
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode))
        throw StudioError(u"Не удалось прочитать файл «"_s + path + u"»: "_s + files::reason(EISDIR));
    ZipError error;
    zip_source_t *source = zip_source_file_create(QFile::encodeName(path).constData(), 0, -1, error.get());
    const ZipArchive zip = openArchive(source, path, error);
    return readArchive(zip.get(), path);
}

QList<ScriptBlock> XLSXReader::read(const QByteArray &archive, const QString &fileName)
{
    ZipError error;
    zip_source_t *source = zip_source_buffer_create(
        archive.constData(), static_cast<zip_uint64_t>(archive.size()), 0, error.get());
    const ZipArchive zip = openArchive(source, fileName, error);
    return readArchive(zip.get(), fileName);
}

} // namespace tarnwick
