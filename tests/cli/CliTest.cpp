#include "core/ProjectLease.h"
#include "core/ProjectStore.h"
#include "support/TestSupport.h"
#include "support/Workbook.h"

#include <QFile>
#include <QProcess>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
};

Result cli(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(TARNWICK_CLI_PATH), arguments);
    process.waitForFinished(30000);
    return Result{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                  QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

class CliTest : public ::testing::Test
{
protected:
    QTemporaryDir m_dir;

    QString file(const QString &name, const QByteArray &content)
    {
        writeBytes(m_dir.filePath(name), content);
        return m_dir.filePath(name);
    }
    ProjectStore project() { return ProjectStore::create(m_dir.path(), {sampleBlock(u"b1"_s)}, u"p"_s); }
};

} // namespace

// --- validate -----------------------------------------------------------------------

TEST_F(CliTest, ValidateCountsBlocksAndSegmentsOfTheSample)
{
    const Result result = cli({u"validate"_s, QStringLiteral(TARNWICK_SOURCE_DIR) + u"/resources/scenario.json"_s});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, u"Блоков: 12\nРеплик: 15\n"_s);
    EXPECT_EQ(result.err, u""_s);
}

TEST_F(CliTest, ValidateCountsMarkedSegments)
{
    const QString path = file(u"s.json"_s, R"([{"id":"a","number":"1","russian":"","english":"[voice:x]\nOne\n[voice:y]\nTwo"},
                                              {"id":"b","number":"2","russian":"р","english":"e"}])");
    const Result result = cli({u"validate"_s, path});
    EXPECT_EQ(result.out, u"Блоков: 2\nРеплик: 3\n"_s);
}

TEST_F(CliTest, ValidateFailuresAreOneRussianLineAndExitOne)
{
    const QString missing = m_dir.filePath(u"missing.json"_s);
    const QString broken = file(u"broken.json"_s, "[\n{\"id\" 1}]");
    const QString empty = file(u"empty.json"_s, "[]");
    const QString typed = file(u"typed.json"_s, R"([{"id":"a","number":7,"russian":"р","english":"e"}])");
    const struct
    {
        QString path;
        QString err;
    } cases[] = {
        {missing, u"Ошибка: Не удалось прочитать файл «"_s + missing + u"»: нет такого файла или папки\n"_s},
        {broken, u"Ошибка: Файл «"_s + broken + u"»: ошибка JSON в строке 2, столбце 7: после ключа нет двоеточия\n"_s},
        {empty, u"Ошибка: Сценарий пуст\n"_s},
        {typed, u"Ошибка: Файл «"_s + typed + u"», блок 1: ключ «number»: ожидалась строка, а не число\n"_s},
        {m_dir.path(), u"Ошибка: Не удалось прочитать файл «"_s + m_dir.path() + u"»: это папка, а не файл\n"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const Result result = cli({u"validate"_s, c.path});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, u""_s);
        EXPECT_EQ(result.err, c.err);
    }
}

TEST_F(CliTest, ValidateReadsWorkbooksByExtensionInAnyCase)
{
    const QByteArray book = workbook({{{}, {}, {}, u"RU"_s, u"EN"_s},
                                      {u"1"_s, {}, {}, u"Раз"_s, u"One"_s},
                                      {u"2.0"_s, {}, {}, u"[voice:a]\nДва\n[voice:b]\nТри"_s, u""_s}});
    for (const QString &name : {u"Урок 1.xlsx"_s, u"data.XLSX"_s, u"mixed.XlSx"_s}) {
        SCOPED_TRACE(name.toStdString());
        const Result result = cli({u"validate"_s, file(name, book)});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out, u"Блоков: 2\nРеплик: 3\n"_s);
        EXPECT_EQ(result.err, u""_s);
    }
    // Only the extension decides: a workbook under another name is read as JSON and fails there.
    const Result json = cli({u"validate"_s, file(u"book.xlsx.json"_s, book)});
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_TRUE(json.err.startsWith(u"Ошибка: Файл «"_s + m_dir.filePath(u"book.xlsx.json"_s) + u"»: ошибка JSON"_s))
        << json.err.toStdString();
}

TEST_F(CliTest, ValidateReportsWorkbookFailuresInRussian)
{
    const QString text = file(u"text.xlsx"_s, "not a workbook");
    const QString headerOnly = file(u"header.xlsx"_s, workbook({{{}, {}, {}, u"RU"_s, u"EN"_s}}));
    const QString noHeaders = file(u"plain.xlsx"_s, workbook({{u"1"_s}, {u"1"_s, {}, {}, u"Раз"_s}}));
    const QString duplicate = file(u"dup.xlsx"_s, workbook({{{}, {}, {}, u"RU"_s, u"EN"_s},
                                                           {{}, {}, {}, u"[voice:a]\nРаз"_s},
                                                           {{}, {}, {}, u"[voice:a]\nДва"_s}}));
    const struct
    {
        QString path;
        QString err;
    } cases[] = {
        {text, u"Ошибка: Файл «"_s + text + u"» повреждён или не является книгой XLSX\n"_s},
        {headerOnly, u"Ошибка: Сценарий пуст\n"_s},
        {noHeaders,
         u"Ошибка: Ожидается шаблон XLSX: заголовки в первой строке, русский текст в D, английский в E\n"_s},
        {duplicate, u"Ошибка: Повтор идентификатора реплики: voice:a\n"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const Result result = cli({u"validate"_s, c.path});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, u""_s);
        EXPECT_EQ(result.err, c.err);
    }
}

// --- usage --------------------------------------------------------------------------

TEST_F(CliTest, WrongUsageExitsTwoWithTheUsageText)
{
    for (const QStringList &arguments :
         {QStringList{}, QStringList{u"validate"_s}, QStringList{u"frobnicate"_s, u"x"_s},
          QStringList{u"check"_s, u"a"_s, u"b"_s}}) {
        SCOPED_TRACE(arguments.join(u' ').toStdString());
        const Result result = cli(arguments);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.out, u""_s);
        EXPECT_TRUE(result.err.startsWith(u"Использование:"_s));
    }
    const Result help = cli({u"--help"_s});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(u"tarnwick-cli validate"_s) && help.out.contains(u"tarnwick-cli check"_s));
}

// --- check --------------------------------------------------------------------------

TEST_F(CliTest, CheckOpensAFreshProject)
{
    const Result result = cli({u"check"_s, project().root()});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, u"Проект открыт\nДублей: 0\n"_s);
}

TEST_F(CliTest, CheckRecoversATakeLeftByAKilledRecorder)
{
    const ProjectStore store = project();
    const Take take = sampleTake(u"b1"_s);
    ASSERT_TRUE(crashAfter([&] {
        store.begin(take);
        writeBytes(store.audioURL(take), "RIFF");
    }));
    const Result result = cli({u"check"_s, store.root()});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, u"Проект открыт\nДублей: 1\n"_s);
    EXPECT_FALSE(QFile::exists(store.pendingFile()));
    EXPECT_EQ(store.load().takes, QList<Take>{take});
}

TEST_F(CliTest, CheckCountsMissingAudio)
{
    const ProjectStore store = project();
    const Take present = sampleTake(u"b1"_s);
    writeBytes(store.audioURL(present), "RIFF");
    store.saveManifest({sampleTake(u"b1"_s), present, sampleTake(u"b1"_s)});
    const Result result = cli({u"check"_s, store.root()});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, u"Не найдены аудиофайлы: 2. Восстановите их из резервной копии\nДублей: 3\n"_s);
}

TEST_F(CliTest, CheckRefusesALockedOrMissingProject)
{
    const ProjectStore store = project();
    {
        const ProjectLease lease(store.root());
        const Result locked = cli({u"check"_s, store.root()});
        EXPECT_EQ(locked.exitCode, 1);
        EXPECT_EQ(locked.err, u"Ошибка: Этот проект уже открыт в другом окне или экземпляре приложения\n"_s);
    }
    const Result missing = cli({u"check"_s, m_dir.filePath(u"nowhere"_s)});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, u"Ошибка: Нет доступа к папке проекта\n"_s);
}
