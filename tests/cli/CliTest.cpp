#include "core/ProjectLease.h"
#include "core/ProjectStore.h"
#include "support/TestSupport.h"

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
