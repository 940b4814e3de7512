#include "core/XLSXReader.h"
#include "support/TestSupport.h"
#include "support/Workbook.h"

#include <QFile>
#include <QProcess>

#include <xlsxwriter.h>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

const QString templateMessage =
    u"Ожидается шаблон XLSX: заголовки в первой строке, русский текст в D, английский в E"_s;
const QString sizeMessage = u"Лист XLSX слишком большой (лимит 16 МБ XML)"_s;

const QList<std::optional<QString>> headers = {u"№"_s,        u"Экран RU"_s, u"Экран EN"_s,  u"Голос RU"_s,
                                               u"Голос EN"_s, u"Статус"_s,   u"Служебное"_s, u"Заметка"_s};

QByteArray sheetOf(const QString &cells)
{
    return u"<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>"
           "<row r=\"1\"><c r=\"D1\"/><c r=\"E1\"/></row>"_s.toUtf8()
           + cells.toUtf8() + "</sheetData></worksheet>";
}

QByteArray sharedOf(const QString &items)
{
    return u"<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"_s.toUtf8()
           + items.toUtf8() + "</sst>";
}

/// A sheet of exactly `size` bytes: one valid row, then spaces inside the root element.
QByteArray paddedSheet(qint64 size)
{
    QByteArray xml = sheetOf(u"<row r=\"2\"><c r=\"D2\" t=\"inlineStr\"><is><t>Да</t></is></c></row>"_s);
    const QByteArray end = "</worksheet>";
    xml.chop(end.size());
    xml.append(QByteArray(size - xml.size() - end.size(), ' '));
    return xml + end;
}

class XLSXReaderTest : public ::testing::Test
{
protected:
    QTemporaryDir m_dir;

    QString save(const QByteArray &archive, const QString &name = u"Урок 1.xlsx"_s)
    {
        writeBytes(m_dir.filePath(name), archive);
        return m_dir.filePath(name);
    }
    QList<ScriptBlock> readSheet(const QString &cells, const std::optional<QString> &shared = std::nullopt)
    {
        return XLSXReader::read(
            save(package(sheetOf(cells), shared ? std::optional(sharedOf(*shared)) : std::nullopt)));
    }
    /// The texts of D2 onwards, in row order: enough to see what a cell's markup yields.
    QStringList russianTexts(const QString &cells, const std::optional<QString> &shared = std::nullopt)
    {
        QStringList texts;
        for (const ScriptBlock &block : readSheet(cells, shared))
            texts.append(block.russian);
        return texts;
    }
};

} // namespace

// --- the template: columns, rows, numbers --------------------------------------------

TEST_F(XLSXReaderTest, MapsEveryColumnOfTheTemplateWithSharedAndInlineStrings)
{
    const SheetRows rows = {
        headers,
        {u"1"_s, u"Заставка"_s, u"Intro"_s, u"Привет & «мир»"_s, u"Hello <world>"_s, u"Готово"_s, u"скрыто"_s,
         u"Тише"_s},
        {std::nullopt, u""_s, std::nullopt, u"  Только русский\nвторая строка "_s, std::nullopt},
    };
    ScriptBlock first = spokenBlock(u"row-2"_s, u"1"_s, u"Привет & «мир»"_s, u"Hello <world>"_s);
    first.videoRussian = u"Заставка"_s;
    first.videoEnglish = u"Intro"_s;
    first.voiceStatus = u"Готово"_s;
    first.voiceNote = u"Тише"_s;
    ScriptBlock second = spokenBlock(u"row-3"_s, u"2"_s, u"  Только русский\nвторая строка "_s, u""_s);
    second.videoRussian = u""_s; // present but empty is not absent

    for (const Strings strings : {Strings::Shared, Strings::Inline}) {
        SCOPED_TRACE(strings == Strings::Shared ? "shared strings" : "inline strings");
        EXPECT_EQ(XLSXReader::read(save(workbook(rows, strings))), (QList<ScriptBlock>{first, second}));
    }
}

TEST_F(XLSXReaderTest, ReadsTheSameFromMemoryAsFromTheFile)
{
    const QByteArray archive = workbook({headers, {u"3"_s, {}, {}, u"Раз"_s, u"One"_s}});
    EXPECT_EQ(XLSXReader::read(archive, u"x.xlsx"_s), XLSXReader::read(save(archive)));
    EXPECT_EQ(XLSXReader::read(archive, u"x.xlsx"_s).size(), 1);
}

TEST_F(XLSXReaderTest, NumberDropsOnlyATrailingPointZeroAndFallsBackToTheRow)
{
    const struct
    {
        std::optional<QString> cell;
        QString number;
    } cases[] = {
        {u"7.0"_s, u"7"_s},     {u"7.00"_s, u"7.00"_s}, {u"7.5"_s, u"7.5"_s},   {u"12"_s, u"12"_s},
        {u"1.0.0"_s, u"1.0"_s}, {u""_s, u"8"_s},        {std::nullopt, u"8"_s}, {u" 7.0 "_s, u" 7.0 "_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.cell.value_or(u"(absent)"_s).toStdString());
        SheetRows rows(9); // row 9 gives number 8 when A is empty
        rows[0] = headers;
        rows[8] = {c.cell, {}, {}, u"Текст"_s};
        const QList<ScriptBlock> blocks = XLSXReader::read(save(workbook(rows)));
        ASSERT_EQ(blocks.size(), 1);
        EXPECT_EQ(blocks[0].number, c.number);
        EXPECT_EQ(blocks[0].id, u"row-9"_s);
    }
}

TEST_F(XLSXReaderTest, RowsComeInNumericOrderAndRowsWithoutVoiceTextAreSkipped)
{
    const QList<ScriptBlock> blocks =
        readSheet(u"<row r=\"10\"><c r=\"D10\" t=\"inlineStr\"><is><t>десять</t></is></c></row>"
                  "<row r=\"9\"><c r=\"E9\" t=\"inlineStr\"><is><t>nine</t></is></c></row>"
                  "<row r=\"4\"><c r=\"A4\"><v>4</v></c><c r=\"B4\" t=\"inlineStr\"><is><t>экран</t></is></c>"
                  "<c r=\"C4\" t=\"inlineStr\"><is><t>screen</t></is></c><c r=\"D4\" "
                  "t=\"inlineStr\"><is><t></t></is></c></row>"
                  "<row r=\"2\"><c r=\"D2\" t=\"inlineStr\"><is><t>два</t></is></c></row>"_s);
    EXPECT_EQ(blocks, (QList<ScriptBlock>{spokenBlock(u"row-2"_s, u"1"_s, u"два"_s, u""_s),
                                          spokenBlock(u"row-9"_s, u"8"_s, u""_s, u"nine"_s),
                                          spokenBlock(u"row-10"_s, u"9"_s, u"десять"_s, u""_s)}));
}

TEST_F(XLSXReaderTest, ReadsAWorkbookWrittenByASpreadsheetLibrary)
{
    const QString path = m_dir.filePath(u"Урок 2.xlsx"_s);
    lxw_workbook *book = workbook_new(QFile::encodeName(path).constData());
    ASSERT_NE(book, nullptr);
    lxw_worksheet *sheet = workbook_add_worksheet(book, nullptr);
    lxw_format *bold = workbook_add_format(book);
    format_set_bold(bold);
    const auto text = [&](lxw_row_t row, lxw_col_t column, const char *value) {
        worksheet_write_string(sheet, row, column, value, nullptr);
    };
    const char *titles[] = {"№", "Экран RU", "Экран EN", "Голос RU", "Голос EN", "Статус", "Служебное", "Заметка"};
    for (lxw_col_t column = 0; column < 8; ++column)
        text(0, column, titles[column]);

    worksheet_write_number(sheet, 1, 0, 1, nullptr);
    text(1, 1, "Заставка");
    text(1, 2, "Intro");
    lxw_rich_string_tuple first = {bold, const_cast<char *>("При")};
    lxw_rich_string_tuple second = {nullptr, const_cast<char *>("вет")};
    lxw_rich_string_tuple *runs[] = {&first, &second, nullptr};
    worksheet_write_rich_string(sheet, 1, 3, runs, nullptr);
    text(1, 4, "Hello");
    text(1, 5, "Готово");
    text(1, 6, "skipped column");
    text(1, 7, "Тише");

    worksheet_write_blank(sheet, 2, 0, bold); // present but empty: the number falls back to the row
    worksheet_write_formula_num(sheet, 2, 3, "=1+1", nullptr, 2);
    text(2, 4, "Two");

    worksheet_write_number(sheet, 4, 0, 7.5, nullptr);
    text(4, 4, "Only English");
    text(5, 1, "Only the screen text");
    ASSERT_EQ(workbook_close(book), LXW_NO_ERROR);

    ScriptBlock intro = spokenBlock(u"row-2"_s, u"1"_s, u"Привет"_s, u"Hello"_s);
    intro.videoRussian = u"Заставка"_s;
    intro.videoEnglish = u"Intro"_s;
    intro.voiceStatus = u"Готово"_s;
    intro.voiceNote = u"Тише"_s;
    EXPECT_EQ(XLSXReader::read(path), (QList<ScriptBlock>{intro, spokenBlock(u"row-3"_s, u"2"_s, u"2"_s, u"Two"_s),
                                                          spokenBlock(u"row-5"_s, u"7.5"_s, u""_s, u"Only English"_s)}));
}

TEST_F(XLSXReaderTest, ReadsAWorkbookWrittenByOpenpyxl)
{
    // This writer keeps strings inline and writes Cyrillic as numeric character references.
    const QString path = m_dir.filePath(u"openpyxl.xlsx"_s);
    const QString script = uR"(
import sys, openpyxl
book = openpyxl.Workbook()
sheet = book.active
sheet.append(["№", "Экран RU", "Экран EN", "Голос RU", "Голос EN", "Статус", None, "Заметка"])
sheet.append(["1", "Заставка", None, "Солнце — звезда «G2».", "The Sun is a G2 star.", None, None, "Медленно"])
sheet.append([2, None, None, "[voice:a]\nРаз.\n[voice:b]\nДва.", "[voice:a]\nOne.\n[voice:b]\nTwo."])
book.save(sys.argv[1])
)"_s;
    QProcess python;
    python.start(u"/usr/bin/python3"_s, {u"-c"_s, script, path});
    ASSERT_TRUE(python.waitForFinished(60000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();

    ScriptBlock first = spokenBlock(u"row-2"_s, u"1"_s, u"Солнце — звезда «G2»."_s, u"The Sun is a G2 star."_s);
    first.videoRussian = u"Заставка"_s;
    first.voiceNote = u"Медленно"_s;
    const ScriptBlock second = spokenBlock(u"row-3"_s, u"2"_s, u"[voice:a]\nРаз.\n[voice:b]\nДва."_s,
                                     u"[voice:a]\nOne.\n[voice:b]\nTwo."_s);
    const QList<ScriptBlock> blocks = XLSXReader::read(path);
    EXPECT_EQ(blocks, (QList<ScriptBlock>{first, second}));
    EXPECT_NO_THROW(ScriptBlock::validate(blocks));
}

// --- header check --------------------------------------------------------------------

TEST_F(XLSXReaderTest, HeaderCheckWantsD1AndE1ToExistWhateverTheyHold)
{
    const QString row2 = u"<row r=\"2\"><c r=\"D2\" t=\"inlineStr\"><is><t>Текст</t></is></c></row>"_s;
    const struct
    {
        const char *name;
        QString header;
        qsizetype blocks; // -1: the template message
    } cases[] = {
        {"both empty", u"<c r=\"D1\"/><c r=\"E1\"/>"_s, 1},
        {"no E1", u"<c r=\"D1\" t=\"inlineStr\"><is><t>RU</t></is></c>"_s, -1},
        {"no D1", u"<c r=\"E1\" t=\"inlineStr\"><is><t>EN</t></is></c>"_s, -1},
        {"headers in row 2", u""_s, -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path =
            save(package(u"<worksheet><sheetData><row r=\"1\">"_s.toUtf8() + c.header.toUtf8() + "</row>"
                         + row2.toUtf8() + "</sheetData></worksheet>"));
        if (c.blocks < 0)
            EXPECT_THROW_MESSAGE(XLSXReader::read(path), templateMessage);
        else
            EXPECT_EQ(XLSXReader::read(path).size(), c.blocks);
    }
    EXPECT_THROW_MESSAGE(XLSXReader::read(save(package("<worksheet/>"))), templateMessage);
}

TEST_F(XLSXReaderTest, HeaderRowAloneIsAnEmptyScenarioNotAnError)
{
    EXPECT_EQ(XLSXReader::read(save(workbook({headers}))), QList<ScriptBlock>{});
}

// --- cell markup ---------------------------------------------------------------------

TEST_F(XLSXReaderTest, SharedStringMarkupYieldsWhatTheSpreadsheetShows)
{
    const QString shared =
        u"<si><t>ноль</t></si>"
        "<si><r><rPr><b/></rPr><t>Hel</t></r><r><t>lo</t></r></si>"
        "<si><t>東京</t><rPh sb=\"0\" eb=\"2\"><t>トウキョウ</t></rPh><phoneticPr fontId=\"1\"/></si>"
        "<si><r><t xml:space=\"preserve\">a </t></r><rPh sb=\"0\" eb=\"1\"><t>x</t></rPh><r><t>b</t></r></si>"_s;
    const struct
    {
        QString value;
        QString text;
    } cases[] = {
        {u"0"_s, u"ноль"_s},
        {u"1"_s, u"Hello"_s}, // rich-text runs are joined
        {u"2"_s, u"東京"_s},   // the phonetic reading is not part of the text
        {u"3"_s, u"a b"_s},
        {u"+1"_s, u"Hello"_s},
        {u"99"_s, u"99"_s}, // out of range keeps the raw value
        {u"4"_s, u"4"_s},   // one past the end
        {u"-1"_s, u"-1"_s},
        {u" 1"_s, u" 1"_s},
        {u"1x"_s, u"1x"_s},
        {u"99999999999999999999"_s, u"99999999999999999999"_s},
        {u""_s, u""_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value.toStdString());
        EXPECT_EQ(russianTexts(u"<row r=\"2\"><c r=\"D2\" t=\"s\"><v>"_s + c.value
                                   + u"</v></c><c r=\"E2\"><v>keep</v></c></row>"_s,
                               shared),
                  QStringList{c.text});
    }
}

TEST_F(XLSXReaderTest, CellKindsYieldTheirShownText)
{
    const struct
    {
        const char *name;
        QString cell;
        QString text;
    } cases[] = {
        {"inline runs", u"<c r=\"D2\" t=\"inlineStr\"><is><r><t>При</t></r><r><t>вет</t></r></is></c>"_s,
         u"Привет"_s},
        {"inline phonetic",
         u"<c r=\"D2\" t=\"inlineStr\"><is><t>漢字</t><rPh sb=\"0\" eb=\"2\"><t>かんじ</t></rPh></is></c>"_s,
         u"漢字"_s},
        {"number", u"<c r=\"D2\"><v>3.5</v></c>"_s, u"3.5"_s},
        {"formula keeps its cached value", u"<c r=\"D2\"><f>1+2</f><v>3</v></c>"_s, u"3"_s},
        {"string type with text", u"<c r=\"D2\" t=\"str\"><f>A1</f><v>итог</v></c>"_s, u"итог"_s},
        {"entities and CDATA",
         u"<c r=\"D2\" t=\"inlineStr\"><is><t>&lt;a&gt; &amp; &#1071;<![CDATA[<b>]]></t></is></c>"_s,
         u"<a> & Я<b>"_s},
        {"later duplicate wins", u"<c r=\"D2\"><v>old</v></c><c r=\"D2\"><v>new</v></c>"_s, u"new"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(russianTexts(u"<row r=\"2\">"_s + c.cell + u"</row>"_s), QStringList{c.text});
    }
}

TEST_F(XLSXReaderTest, CellWithoutReferenceIsDropped)
{
    EXPECT_EQ(russianTexts(u"<row r=\"2\"><c t=\"inlineStr\"><is><t>потеряно</t></is></c></row>"
                           "<row r=\"3\"><c r=\"D3\"><v>есть</v></c></row>"_s),
              QStringList{u"есть"_s});
}

TEST_F(XLSXReaderTest, PrefixedElementNamesReadLikePlainOnes)
{
    const QByteArray sheet = R"(<?xml version="1.0"?>
<x:worksheet xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><x:sheetData>
<x:row r="1"><x:c r="D1" t="s"><x:v>0</x:v></x:c><x:c r="E1" t="s"><x:v>0</x:v></x:c></x:row>
<x:row r="2"><x:c r="D2" t="s"><x:v>1</x:v></x:c><x:c r="E2" t="inlineStr"><x:is><x:t>Inline</x:t></x:is></x:c></x:row>
</x:sheetData></x:worksheet>)";
    const QByteArray shared = R"(<x:sst xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main">
<x:si><x:t>Заголовок</x:t></x:si><x:si><x:r><x:t>Пре</x:t></x:r><x:r><x:t>фикс</x:t></x:r><x:rPh><x:t>нет</x:t></x:rPh></x:si></x:sst>)";
    EXPECT_EQ(XLSXReader::read(save(package(sheet, shared))),
              QList<ScriptBlock>{spokenBlock(u"row-2"_s, u"1"_s, u"Префикс"_s, u"Inline"_s)});
}

// --- the size cap --------------------------------------------------------------------

TEST_F(XLSXReaderTest, CapCountsInflatedBytesOfEachEntry)
{
    const QByteArray atLimit = paddedSheet(XLSXReader::entryLimit);
    ASSERT_EQ(atLimit.size(), 16777216);
    EXPECT_EQ(XLSXReader::read(save(package(atLimit))).size(), 1);
    EXPECT_THROW_MESSAGE(XLSXReader::read(save(package(paddedSheet(XLSXReader::entryLimit + 1)))),
                         sizeMessage);

    // The limit is per entry: a full string table beside a full sheet is still fine.
    QByteArray fullShared = sharedOf(u"<si><t>x</t></si>"_s);
    fullShared.insert(fullShared.size() - 6, QByteArray(XLSXReader::entryLimit - fullShared.size(), ' '));
    ASSERT_EQ(fullShared.size(), 16777216);
    EXPECT_EQ(XLSXReader::read(save(package(atLimit, fullShared))).size(), 1);
    fullShared.insert(10, ' ');
    EXPECT_THROW_MESSAGE(XLSXReader::read(save(package(atLimit, fullShared))), sizeMessage);
}

TEST_F(XLSXReaderTest, CapHoldsAgainstAnArchiveThatUnderstatesItsSizes)
{
    const QByteArray bomb = withDeclaredSize(package(paddedSheet(64 * 1024 * 1024)), 1000);
    ASSERT_LT(bomb.size(), 1024 * 1024);
    EXPECT_THROW_MESSAGE(XLSXReader::read(save(bomb)), sizeMessage);
    EXPECT_THROW_MESSAGE(XLSXReader::read(bomb, u"bomb.xlsx"_s), sizeMessage);
}

// --- damaged files -------------------------------------------------------------------

TEST_F(XLSXReaderTest, UnreadableOrDamagedFilesNameTheFile)
{
    const QByteArray good = workbook({headers, {u"1"_s, {}, {}, u"Да"_s}});
    const QByteArray wrongChecksum =
        withChecksum(zipArchive({{u"xl/worksheets/sheet1.xml"_s, paddedSheet(300000)}}), 1);

    const QString text = save("Это просто текст, а не книга.\n", u"текст.xlsx"_s);
    const QString truncated = save(good.left(good.size() / 2), u"обрыв.xlsx"_s);
    const QString empty = save("", u"пусто.xlsx"_s);
    const QString noSheet =
        save(zipArchive({{u"xl/sharedStrings.xml"_s, sharedOf(u""_s)}}), u"без листа.xlsx"_s);
    const QString otherSheet =
        save(zipArchive({{u"xl/worksheets/Sheet1.xml"_s, paddedSheet(200)}}), u"регистр.xlsx"_s);
    const QString missing = m_dir.filePath(u"нет.xlsx"_s);
    const QString damaged = u"» повреждён или не является книгой XLSX"_s;
    const QString noSheetDetail = u": нет листа «xl/worksheets/sheet1.xml»"_s;

    const struct
    {
        QString path;
        QString message;
    } cases[] = {
        {text, u"Файл «"_s + text + damaged},
        {truncated, u"Файл «"_s + truncated + damaged},
        {empty, u"Файл «"_s + empty + damaged},
        {noSheet, u"Файл «"_s + noSheet + damaged + noSheetDetail},
        {otherSheet, u"Файл «"_s + otherSheet + damaged + noSheetDetail},
        {missing, u"Не удалось прочитать файл «"_s + missing + u"»: нет такого файла или папки"_s},
        {m_dir.path(), u"Не удалось прочитать файл «"_s + m_dir.path() + u"»: это папка, а не файл"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        EXPECT_THROW_MESSAGE(XLSXReader::read(c.path), c.message);
    }
    const QString broken = save(wrongChecksum, u"битый.xlsx"_s);
    EXPECT_THROW_MESSAGE(XLSXReader::read(broken),
                         u"Файл «"_s + broken + damaged
                             + u": часть «xl/worksheets/sheet1.xml» не распаковывается"_s);
    // A string table that is there but damaged is refused, not skipped: skipping it would turn
    // every text cell into a bare index.
    const QString brokenShared =
        save(withChecksum(zipArchive({{u"xl/sharedStrings.xml"_s, sharedOf(u"<si><t>a</t></si>"_s)},
                                      {u"xl/worksheets/sheet1.xml"_s, paddedSheet(300)}}),
                          1),
             u"битые строки.xlsx"_s);
    EXPECT_THROW_MESSAGE(XLSXReader::read(brokenShared),
                         u"Файл «"_s + brokenShared + damaged
                             + u": часть «xl/sharedStrings.xml» не распаковывается"_s);
}

// --- malformed XML -------------------------------------------------------------------

TEST_F(XLSXReaderTest, MalformedXmlNamesTheEntryLineAndColumn)
{
    const QString sheetPlace = u"», часть «xl/worksheets/sheet1.xml»: ошибка XML в строке "_s;
    const struct
    {
        const char *name;
        QByteArray sheet;
        std::optional<QByteArray> shared;
        QString place; // the entry, then the column of the character where the fault shows
        QString problemStart;
    } cases[] = {
        {"mismatched tag", "<worksheet>\n<sheetData>\n  <row></rov>\n</sheetData></worksheet>", std::nullopt,
         sheetPlace + u"3, столбце 13"_s, u"нарушена разметка ("_s},
        {"cut short", "<worksheet>\n<sheetData><row>", std::nullopt, sheetPlace + u"2, столбце 16"_s,
         u"документ обрывается"_s},
        {"undeclared entity", "<worksheet>&lol;</worksheet>", std::nullopt, sheetPlace + u"1, столбце 16"_s,
         u"нарушена разметка ("_s},
        {"empty entry", "", std::nullopt, sheetPlace + u"1, столбце 1"_s, u"часть пуста"_s},
        {"shared strings", "<worksheet/>", "<sst>\n<si><t>a</si></sst>",
         u"», часть «xl/sharedStrings.xml»: ошибка XML в строке 2, столбце 13"_s, u"нарушена разметка ("_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = save(package(c.sheet, c.shared));
        const std::optional<QString> message = errorOf([&] { XLSXReader::read(path); });
        ASSERT_TRUE(message);
        const QString expected = u"Файл «"_s + path + c.place + u": "_s + c.problemStart;
        EXPECT_TRUE(message->startsWith(expected))
            << message->toStdString() << "\nexpected start: " << expected.toStdString();
    }
}

TEST_F(XLSXReaderTest, DocumentTypeDeclarationsAreRefusedBeforeAnyExpansion)
{
    const QByteArray laughs = R"(<?xml version="1.0"?>
<!DOCTYPE worksheet [
 <!ENTITY a "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa">
 <!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">
 <!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;">
 <!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;">
 <!ENTITY e "&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;">
]>
<worksheet><sheetData><row r="1"><c r="D1"/><c r="E1"/></row>
<row r="2"><c r="D2" t="inlineStr"><is><t>&e;&e;&e;&e;&e;&e;&e;&e;</t></is></c></row></sheetData></worksheet>)";
    const QByteArray external = R"(<?xml version="1.0"?>
<!DOCTYPE worksheet SYSTEM "file:///etc/passwd">
<worksheet><sheetData><row r="1"><c r="D1"/><c r="E1"/></row></sheetData></worksheet>)";

    for (const auto &[name, sheet, line] :
         {std::tuple{"nested entities", laughs, 8}, std::tuple{"external DTD", external, 2}}) {
        SCOPED_TRACE(name);
        const QString path = save(package(sheet));
        const std::optional<QString> message = errorOf([&] { XLSXReader::read(path); });
        ASSERT_TRUE(message);
        EXPECT_TRUE(message->startsWith(u"Файл «"_s + path
                                        + u"», часть «xl/worksheets/sheet1.xml»: ошибка XML в строке "_s
                                        + QString::number(line)))
            << message->toStdString();
        EXPECT_TRUE(message->endsWith(u": объявление DTD не допускается"_s)) << message->toStdString();
    }
}
