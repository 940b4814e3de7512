// tarnwick-cli: the project's rules from a terminal. Output and exit codes are a contract:
// 0 success, 1 "Ошибка: " + description on stderr, 2 wrong usage.

#include "core/FileAccess.h"
#include "core/ProjectLease.h"
#include "core/ProjectStore.h"
#include "core/ScriptBlock.h"
#include "core/StudioError.h"
#include "core/XLSXReader.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace tarnwick;

namespace {

const auto usage = u"Использование:\n"
                   "  tarnwick-cli validate ФАЙЛ     проверить сценарий (JSON-массив блоков или книга .xlsx)\n"
                   "  tarnwick-cli check ПАПКА       открыть проект, восстановить незавершённый дубль\n"
                   "                                 и посчитать дубли без аудиофайлов\n"
                   "  tarnwick-cli --help            показать эту справку\n"_s;

class UsageError
{
};

void write(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

void validate(const QString &file)
{
    const QList<ScriptBlock> blocks = file.endsWith(u".xlsx", Qt::CaseInsensitive)
                                          ? XLSXReader::read(file)
                                          : decodeScenario(files::read(file), file);
    ScriptBlock::validate(blocks);
    write(stdout, u"Блоков: "_s + QString::number(blocks.size()) + u"\nРеплик: "_s
                      + QString::number(segmentCount(blocks)) + u'\n');
}

void check(const QString &folder)
{
    const ProjectStore store(folder);
    const ProjectLease lease(store.root());
    const ProjectContents contents = store.load();
    write(stdout, projectOpenedMessage(store.missingAudioCount(contents.takes)) + u"\nДублей: "_s
                      + QString::number(contents.takes.size()) + u'\n');
}

void run(const QStringList &arguments)
{
    if (arguments.size() == 1 && (arguments[0] == u"--help" || arguments[0] == u"-h")) {
        write(stdout, usage);
        return;
    }
    if (arguments.size() != 2)
        throw UsageError();
    if (arguments[0] == u"validate")
        validate(arguments[1]);
    else if (arguments[0] == u"check")
        check(arguments[1]);
    else
        throw UsageError();
}

} // namespace

int main(int argc, char *argv[])
{
    const QCoreApplication application(argc, argv);
    try {
        run(QCoreApplication::arguments().mid(1));
        return 0;
    } catch (const UsageError &) {
        write(stderr, usage);
        return 2;
    } catch (const StudioError &error) {
        write(stderr, u"Ошибка: "_s + error.message() + u'\n');
    } catch (const std::exception &error) {
        write(stderr, u"Ошибка: "_s + QString::fromUtf8(error.what()) + u'\n');
    }
    return 1;
}
