#include "core/XLSXReader.h"
#include "support/TestSupport.h"
#include "support/Workbook.h"

#include <QtEndian>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

const QString templateMessage = u"Ожидается шаблон XLSX: заголовки в первой строке, русский текст в D, английский в E"_s;
const QString sizeMessage = u"Лист XLSX слишком большой (лимит 16 МБ XML)"_s;
const QString damaged = u"Файл «F» повреждён или не является книгой XLSX"_s;
const QString sheetXml = u"Файл «F», часть «xl/worksheets/sheet1.xml»: ошибка XML в строке "_s;

QByteArray sheetOf(const QString &rows, const QString &header = u"<c r=\"D1\"/><c r=\"E1\"/>"_s)
{
    return (u"<worksheet><sheetData><row r=\"1\">"_s + header + u"</row>"_s + rows + u"</sheetData></worksheet>"_s).toUtf8();
}

/// A sheet of exactly `size` bytes: one row, then spaces inside the root element.
QByteArray paddedSheet(qint64 size)
{
    QByteArray xml = sheetOf(u"<row r=\"2\"><c r=\"D2\"><v>1</v></c></row>"_s);
    return xml.insert(xml.size() - 12, QByteArray(size - xml.size(), ' '));
}

/// Rewrites one field in every local (at `local`) and central (at `central`) header of a zip.
QByteArray patched(QByteArray archive, qsizetype local, qsizetype central, quint32 value)
{
    for (const auto &[signature, offset] : {std::pair{"PK\x03\x04", local}, std::pair{"PK\x01\x02", central}}) {
        for (qsizetype at = archive.indexOf(signature); at >= 0; at = archive.indexOf(signature, at + 4))
            qToLittleEndian(value, archive.data() + at + offset);
    }
    return archive;
}

class XLSXReaderTest : public ::testing::Test
{
protected:
    QTemporaryDir m_dir;
    int m_saved = 0;

    QString save(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(u"Урок "_s + QString::number(++m_saved) + u".xlsx"_s);
        writeBytes(path, bytes);
        return path;
    }
    /// Each block as number:russian, joined by "|"; or the error, the file's path shown as F.
    QString outcome(const QString &path)
    {
        QStringList blocks;
        const std::optional<QString> error = errorOf([&] {
            for (const ScriptBlock &block : XLSXReader::read(path))
                blocks.append(block.number + u':' + block.russian);
        });
        return error ? QString(*error).replace(path, u"F"_s) : blocks.join(u'|');
    }
};

} // namespace

TEST_F(XLSXReaderTest, CellsReadAsTheSpreadsheetShowsThem)
{
    const QByteArray shared = "<sst><si><t>ноль</t></si><si><r><t>Hel</t></r><r><t>lo</t></r></si><si><t>東京</t>"
                              "<rPh><t>トウキョウ</t></rPh></si><si><t>a_x000D_\nb _x005F_x000D_ _x00e9_ _x00G1_</t></si></sst>";
    const struct
    {
        const char *name;
        QString cells; // of row 2, before E2
        QString result; // number:russian
    } cases[] = {
        {"shared string", u"<c r=\"D2\" t=\"s\"><v>0</v></c>"_s, u"1:ноль"_s},
        {"rich-text runs joined", u"<c r=\"D2\" t=\"s\"><v>+1</v></c>"_s, u"1:Hello"_s},
        {"phonetic reading left out", u"<c r=\"D2\" t=\"s\"><v>2</v></c>"_s, u"1:東京"_s},
        {"escapes decoded", u"<c r=\"D2\" t=\"s\"><v>3</v></c>"_s, u"1:a\r\nb _x000D_ é _x00G1_"_s},
        {"index past the end", u"<c r=\"D2\" t=\"s\"><v>4</v></c>"_s, u"1:4"_s},
        {"index over 64 bits", u"<c r=\"D2\" t=\"s\"><v>99999999999999999999</v></c>"_s, u"1:99999999999999999999"_s},
        {"inline runs", u"<c r=\"D2\" t=\"inlineStr\"><is><r><t>При</t></r><r><t>вет</t></r></is></c>"_s, u"1:Привет"_s},
        {"inline escape", u"<c r=\"D2\" t=\"inlineStr\"><is><t>[voice:a]_x000D_</t><rPh><t>x</t></rPh></is></c>"_s,
         u"1:[voice:a]\r"_s},
        {"formula text", u"<c r=\"D2\" t=\"str\"><f>A1</f><v>a_x000D_b</v></c>"_s, u"1:a\rb"_s},
        {"entities and CDATA", u"<c r=\"D2\" t=\"inlineStr\"><is><t>&lt;a&gt; &amp; &#1071;<![CDATA[<b>]]></t></is></c>"_s,
         u"1:<a> & Я<b>"_s},
        {"later duplicate wins", u"<c r=\"D2\"><v>old</v></c><c r=\"D2\"><v>new</v></c>"_s, u"1:new"_s},
        {"number as Excel stores 10.2", u"<c r=\"D2\"><v>10.199999999999999</v></c>"_s, u"1:10.2"_s},
        {"15 significant digits", u"<c r=\"D2\"><f>1/3</f><v>0.33333333333333331</v></c>"_s, u"1:0.333333333333333"_s},
        {"number 7.0", u"<c r=\"A2\"><v>7.0</v></c>"_s, u"7:"_s},
        {"text 7.0", u"<c r=\"A2\" t=\"inlineStr\"><is><t>7.0</t></is></c>"_s, u"7:"_s},
        {"text 7.00", u"<c r=\"A2\" t=\"inlineStr\"><is><t>7.00</t></is></c>"_s, u"7.00:"_s},
        {"text 1.0.0", u"<c r=\"A2\" t=\"inlineStr\"><is><t>1.0.0</t></is></c>"_s, u"1.0:"_s},
        {"number empty", u"<c r=\"A2\"/>"_s, u"1:"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString row = u"<row r=\"2\">"_s + c.cells + u"<c r=\"E2\" t=\"inlineStr\"><is><t>e</t></is></c></row>"_s;
        EXPECT_EQ(outcome(save(package(sheetOf(row), shared))), c.result);
    }
}

TEST_F(XLSXReaderTest, ReadsAWorkbookWrittenByASpreadsheetProgram)
{
    const QByteArray book = workbook({
        {u"№"_s, u"Экран RU"_s, u"Экран EN"_s, u"Голос RU"_s, u"Голос EN"_s, u"Статус"_s, u"-"_s, u"Заметка"_s},
        {1.0, u"Заставка"_s, u"Intro"_s, u"[voice:a]\r\nРаз.\r\n[voice:b]\r\nДва."_s,
         u"[voice:a]\r\nOne.\r\n[voice:b]\r\nTwo."_s, u"Готово"_s, u"скрыто"_s, u"Тише"_s},
        {},
        {1234567.891234567, {}, {}, {}, u"Only English"_s},
        {{}, u"Only the screen text"_s},
    });
    const ScriptBlock first{u"row-2"_s, u"1"_s, u"Заставка"_s, u"Intro"_s, u"[voice:a]\r\nРаз.\r\n[voice:b]\r\nДва."_s,
                            u"[voice:a]\r\nOne.\r\n[voice:b]\r\nTwo."_s, u"Готово"_s, u"Тише"_s};
    const QList<ScriptBlock> blocks = XLSXReader::read(save(book));
    EXPECT_EQ(blocks, (QList{first, spokenBlock(u"row-4"_s, u"1234567.89123457"_s, u""_s, u"Only English"_s)}));
    EXPECT_EQ(XLSXReader::read(book, u"x.xlsx"_s), blocks);
    EXPECT_NO_THROW(ScriptBlock::validate(blocks)); // the markers stand alone on their lines
}

TEST_F(XLSXReaderTest, TemplateAndDamageAreReportedNamingTheFileAndThePlace)
{
    const QString d2 = u"<row r=\"2\"><c r=\"D2\"><v>Да</v></c></row>"_s;
    const QByteArray atLimit = paddedSheet(XLSXReader::entryLimit);
    QByteArray fullShared = u"<sst><si><t>x</t></si></sst>"_s.toUtf8();
    fullShared.insert(5, QByteArray(XLSXReader::entryLimit - fullShared.size(), ' '));
    const QByteArray bomb = patched(package(paddedSheet(64 * 1024 * 1024)), 22, 24, 1000);
    const QByteArray good = workbook({{{}, {}, {}, u"RU"_s, u"EN"_s}, {1.0, {}, {}, u"Да"_s}});
    const QString mismatch = u"нарушена разметка (Opening and ending tag mismatch.)"_s;
    const struct
    {
        const char *name;
        QString path;
        QString result;
    } cases[] = {
        {"numeric row order, rows without voice text skipped",
         save(package(sheetOf(u"<row r=\"10\"><c r=\"E10\"><v>t</v></c></row><row r=\"9\"><c r=\"D9\"><v>n</v>"
                              "</c></row><row r=\"4\"><c r=\"A4\"><v>4</v></c><c r=\"D4\"/></row>"_s + d2))),
         u"1:Да|8:n|9:"_s},
        {"header cells only", save(package(sheetOf({}))), u""_s},
        {"no E1", save(package(sheetOf(d2, u"<c r=\"D1\"/>"_s))), templateMessage},
        {"prefixed names", save(package("<x:worksheet xmlns:x=\"s\"><x:sheetData><x:row><x:c r=\"D1\"/><x:c r=\"E1\"/>"
                                        "<x:c r=\"D2\"><x:v>Да</x:v></x:c></x:row></x:sheetData></x:worksheet>")),
         u"1:Да"_s},
        {"mismatched tag", save(package("<worksheet>\n<sheetData>\n  <row></rov>\n</sheetData></worksheet>")),
         sheetXml + u"3, столбце 13: "_s + mismatch},
        {"cut short", save(package("<worksheet>\n<sheetData><row>")), sheetXml + u"2, столбце 16: документ обрывается"_s},
        {"empty entry", save(package("")), sheetXml + u"1, столбце 1: часть пуста"_s},
        {"DTD", save(package("<?xml version=\"1.0\"?>\n<!DOCTYPE w [<!ENTITY a \"aaaa\">]>\n<w>&a;</w>")),
         sheetXml + u"2, столбце 33: объявление DTD не допускается"_s},
        {"malformed strings", save(package(sheetOf({}), "<sst>\n<si><t>a</si></sst>")),
         u"Файл «F», часть «xl/sharedStrings.xml»: ошибка XML в строке 2, столбце 13: "_s + mismatch},
        {"entry at the limit", save(package(atLimit)), u"1:1"_s},
        {"entry over the limit", save(package(paddedSheet(XLSXReader::entryLimit + 1))), sizeMessage},
        {"strings at the limit too", save(package(atLimit, fullShared)), u"1:1"_s},
        {"strings over the limit", save(package(atLimit, fullShared + ' ')), sizeMessage},
        {"sizes understated", save(bomb), sizeMessage},
        {"not a zip", save("Это просто текст.\n"), damaged},
        {"truncated", save(good.left(good.size() / 2)), damaged},
        {"no sheet", save(zipArchive({{u"xl/sharedStrings.xml"_s, "<sst/>"}})),
         damaged + u": нет листа «xl/worksheets/sheet1.xml»"_s},
        {"bad checksum", save(patched(package(paddedSheet(300000)), 14, 16, 1)),
         damaged + u": часть «xl/worksheets/sheet1.xml» не распаковывается"_s},
        {"bad checksum of the strings", save(patched(package(sheetOf({}), "<sst/>"), 14, 16, 1)),
         damaged + u": часть «xl/sharedStrings.xml» не распаковывается"_s},
        {"missing", m_dir.filePath(u"нет.xlsx"_s), u"Не удалось прочитать файл «F»: нет такого файла или папки"_s},
        {"folder", m_dir.path(), u"Не удалось прочитать файл «F»: это папка, а не файл"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(outcome(c.path), c.result);
    }
    EXPECT_THROW_MESSAGE(XLSXReader::read(bomb, u"bomb.xlsx"_s), sizeMessage);
}
