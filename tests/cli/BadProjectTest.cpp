// Hand-edited and hostile project folders through `tarnwick-cli check`: each one is refused with
// one clear line or opened as it is, never a crash, a hang or a write outside the project.

#include "core/ProjectStore.h"
#include "core/SampleScenario.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

const QByteArray takeID = "3F2504E0-4F89-11D3-9A0C-0305E82C3301";

QByteArray takeJson(const QByteArray &fileName,
                    const QByteArray &id = takeID,
                    const QByteArray &createdAt = "\"2025-03-14T09:26:53Z\"",
                    const QByteArray &selected = "true")
{
    return "{\"blockID\": \"1\", \"createdAt\": " + createdAt + ", \"fileName\": \"" + fileName +
           "\", \"id\": \"" + id + "\", \"selected\": " + selected + "}";
}

QByteArray manifestJson(const QList<QByteArray> &takes)
{
    QByteArray joined;
    for (const QByteArray &take : takes)
        joined += (joined.isEmpty() ? "" : ",\n") + take;
    return "{\"takes\": [" + joined + "]}\n";
}

/// Every file under `folder` with its bytes (link targets for links), to see that nothing changed.
QMap<QString, QByteArray> snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDir dir(folder);
    for (const QFileInfo &info :
         dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (info.isSymLink())
            files.insert(info.fileName(), "-> " + info.symLinkTarget().toUtf8());
        else if (info.isDir())
            for (auto [name, bytes] : snapshot(info.filePath()).asKeyValueRange())
                files.insert(info.fileName() + u'/' + name, bytes);
        else if (info.isFile())
            files.insert(info.fileName(), readBytes(info.filePath()));
        else
            files.insert(info.fileName(), "special");
    }
    return files;
}

struct Case
{
    const char *name;
    std::function<void(const ProjectStore &, const QString &outside)> spoil;
    int exitCode;
    QString expected;    // the whole stderr when refused, the whole stdout when opened
    bool prefix = false; // the expected text only starts the line (it names a column)
};

class BadProjectTest : public ::testing::Test
{
protected:
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(BadProjectTest, HostileFoldersAreRefusedWithOneLineOrOpenedUnharmed)
{
    const auto manifest = [](const QList<QByteArray> &takes) {
        return [takes](const ProjectStore &store, const QString &) {
            writeBytes(store.manifestFile(), manifestJson(takes));
        };
    };
    const QString badName = u"Ошибка: Некорректное имя аудиофайла\n"_s;
    const QString linked = u"Ошибка: Символические ссылки на аудиофайлы не поддерживаются\n"_s;
    const QString noAccess = u"Ошибка: Нет доступа к папке проекта\n"_s;
    const auto fileError = [](const char *file, const QString &reason) {
        return [file, reason](const QString &root) {
            return u"Ошибка: Не удалось прочитать файл «"_s + root + u'/' + QLatin1StringView(file) +
                   u"»: "_s + reason + u'\n';
        };
    };
    const auto jsonError = [](const QString &root) {
        return u"Ошибка: Файл «"_s + root + u"/manifest.json»"_s;
    };

    const std::vector<std::pair<Case, std::function<QString(const QString &)>>> cases = {
        {{"a take file name that climbs out", manifest({takeJson("../evil.wav")}), 1, badName}, {}},
        {{"a take file name deeper down", manifest({takeJson("../../outside/evil.wav")}), 1, badName}, {}},
        {{"an absolute take file name",
          [](const ProjectStore &store, const QString &outside) {
              writeBytes(store.manifestFile(), manifestJson({takeJson((outside + u"/evil.wav"_s).toUtf8())}));
          },
          1, badName},
         {}},
        {{"a backslash in a take file name", manifest({takeJson("..\\\\evil.wav")}), 1, badName}, {}},
        // The system cuts a name at NUL: "keep.wav\0.wav" would reach another take's file.
        {{"a NUL inside a take file name",
          manifest({takeJson("keep.wav"),
                    takeJson("keep.wav\\u0000.wav", "4F2504E0-4F89-11D3-9A0C-0305E82C3301")}),
          1, badName},
         {}},
        {{"a take file that links outside",
          [](const ProjectStore &store, const QString &outside) {
              writeBytes(store.manifestFile(), manifestJson({takeJson("evil.wav")}));
              QFile::link(outside + u"/evil.wav"_s, store.recordingsFolder() + u"/evil.wav"_s);
          },
          1, linked},
         {}},
        {{"a Recordings folder that links outside",
          [](const ProjectStore &store, const QString &outside) {
              writeBytes(store.manifestFile(), manifestJson({takeJson("evil.wav")}));
              QDir(store.recordingsFolder()).removeRecursively();
              QFile::link(outside, store.recordingsFolder());
          },
          1, linked},
         {}},
        {{"one id twice in different case",
          manifest({takeJson("a.wav"), takeJson("b.wav", takeID.toLower())}), 1,
          u"Ошибка: В manifest найдены повторяющиеся дубли или имена файлов\n"_s},
         {}},
        {{"a number too big for a double",
          manifest({takeJson("a.wav", takeID, "\"2025-03-14T09:26:53Z\"", "1e999")}),
          1,
          {},
          true},
         jsonError},
        {{"a year with eleven digits",
          manifest({takeJson("a.wav", takeID, "\"99999999999-03-14T09:26:53Z\"")}),
          1,
          {},
          true},
         jsonError},
        {{"a date that is a huge number",
          manifest({takeJson("a.wav", takeID, "123456789012345678901234567890")}),
          1,
          {},
          true},
         jsonError},
        {{"invalid UTF-8",
          [](const ProjectStore &store, const QString &) {
              writeBytes(store.manifestFile(), manifestJson({takeJson("a\xff\xfe.wav")}));
          },
          1,
          {},
          true},
         jsonError},
        {{"a pending record that is a folder",
          [](const ProjectStore &store, const QString &) { QDir().mkpath(store.pendingFile()); },
          1,
          {}},
         fileError("pending-take.json", u"это папка, а не файл"_s)},
        {{"a pending record that links to a take outside",
          [](const ProjectStore &store, const QString &outside) {
              writeBytes(outside + u"/take.json"_s, takeJson("a.wav"));
              QFile::link(outside + u"/take.json"_s, store.pendingFile());
          },
          1,
          {}},
         fileError("pending-take.json", u"это символическая ссылка"_s)},
        {{"a pending record that is a FIFO",
          [](const ProjectStore &store, const QString &) {
              ::mkfifo(QFile::encodeName(store.pendingFile()).constData(), 0600);
          },
          1,
          {}},
         fileError("pending-take.json", u"это не обычный файл"_s)},
        {{"a manifest that is a FIFO",
          [](const ProjectStore &store, const QString &) {
              QFile::remove(store.manifestFile());
              ::mkfifo(QFile::encodeName(store.manifestFile()).constData(), 0600);
          },
          1,
          {}},
         fileError("manifest.json", u"это не обычный файл"_s)},
        {{"a lock file that links outside",
          [](const ProjectStore &store, const QString &outside) {
              QFile::link(outside + u"/lock"_s, store.root() + u"/.tarnwick.lock"_s);
          },
          1, noAccess},
         {}},
        {{"a lock file that is a FIFO",
          [](const ProjectStore &store, const QString &) {
              ::mkfifo(QFile::encodeName(store.root() + u"/.tarnwick.lock"_s).constData(), 0600);
          },
          1, noAccess},
         {}},
        // Accepted as written: a date with an offset and a fraction, and a huge but valid manifest.
        {{"a date with an offset and a fraction",
          [](const ProjectStore &store, const QString &) {
              writeBytes(store.manifestFile(),
                         manifestJson({takeJson("a.wav", takeID, "\"2025-03-14T12:26:53.5+03:00\"")}));
              writeBytes(store.recordingsFolder() + u"/a.wav"_s, "RIFF");
          },
          0, u"Проект открыт\nДублей: 1\n"_s},
         {}},
        {{"a 100 MB manifest",
          [](const ProjectStore &store, const QString &) {
              writeBytes(store.manifestFile(),
                         "{\"pad\": \"" + QByteArray(100 * 1024 * 1024, 'x') + "\", \"takes\": []}");
          },
          0, u"Проект открыт\nДублей: 0\n"_s},
         {}},
    };

    int index = 0;
    for (const auto &[c, expectedFor] : cases) {
        SCOPED_TRACE(c.name);
        const QString parent = m_dir.filePath(QString::number(++index));
        const QString outside = parent + u"/outside"_s;
        QDir().mkpath(outside);
        writeBytes(outside + u"/evil.wav"_s, "RIFF outside");
        const ProjectStore store = ProjectStore::create(parent + u"/Projects"_s, sampleScenario(), u"p"_s);
        c.spoil(store, outside);
        const QMap<QString, QByteArray> before = snapshot(parent);

        QProcess cli;
        cli.start(QStringLiteral(TARNWICK_CLI_PATH), {u"check"_s, store.root()});
        ASSERT_TRUE(cli.waitForFinished(60000)) << "check hung";
        ASSERT_EQ(cli.exitStatus(), QProcess::NormalExit) << "check crashed";
        EXPECT_EQ(cli.exitCode(), c.exitCode);
        const QString err = QString::fromUtf8(cli.readAllStandardError());
        const QString out = QString::fromUtf8(cli.readAllStandardOutput());
        const QString expected = expectedFor ? expectedFor(store.root()) : c.expected;
        if (c.exitCode == 0) {
            EXPECT_EQ(out, expected);
            EXPECT_EQ(err, u""_s);
        } else if (c.prefix) {
            EXPECT_TRUE(err.startsWith(expected)) << err.toStdString();
            EXPECT_EQ(err.count(u'\n'), 1) << err.toStdString();
            EXPECT_EQ(out, u""_s);
        } else {
            EXPECT_EQ(err, expected);
            EXPECT_EQ(out, u""_s);
        }

        // Nothing changed, inside or outside; only the lock file may appear.
        QMap<QString, QByteArray> after = snapshot(parent);
        const QString lock = u"Projects/"_s + QFileInfo(store.root()).fileName() + u"/.tarnwick.lock"_s;
        if (!before.contains(lock))
            after.remove(lock);
        EXPECT_EQ(after.keys(), before.keys());
        EXPECT_TRUE(after == before) << "a file changed";
        QDir(parent).removeRecursively();
    }
}
