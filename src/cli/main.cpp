// tarnwick-cli: the project's rules from a terminal. Output and exit codes are a contract:
// 0 success, 1 "Ошибка: " + description on stderr, 2 wrong usage.

#include "audio/QtAudioBackend.h"
#include "core/FileAccess.h"
#include "core/ProjectLease.h"
#include "core/ProjectStore.h"
#include "core/ScriptBlock.h"
#include "core/StudioError.h"
#include "core/XLSXReader.h"
#include "studio/QtServices.h"
#include "studio/Studio.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace tarnwick;

namespace {

const auto usage = u"Использование:\n"
                   "  tarnwick-cli validate ФАЙЛ     проверить сценарий (JSON-массив блоков или книга .xlsx)\n"
                   "  tarnwick-cli check ПАПКА       открыть проект, восстановить незавершённый дубль\n"
                   "                                 и посчитать дубли без аудиофайлов\n"
                   "  tarnwick-cli status ПАПКА      состояние каждого блока и число озвученных\n"
                   "  tarnwick-cli record ПАПКА --block НОМЕР [--seconds С] [--device ID]\n"
                   "                                 записать дубль следующей реплики блока\n"
                   "                                 (С секунд, по умолчанию 3)\n"
                   "  tarnwick-cli devices           входные устройства: ID<TAB>описание\n"
                   "  tarnwick-cli --help            показать эту справку\n"_s;

class UsageError
{
};

void write(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

/// A terminal has nobody to answer a dialog: choosers cancel, alerts go unseen (the outcome is
/// printed anyway), and the window's remembered project is left as it was.
StudioServices terminalServices()
{
    class NoFolder final : public FolderChooser
    {
    public:
        std::optional<QString> chooseFolder(const QString &) override { return std::nullopt; }
    };
    class SilentAlert final : public ModalAlert
    {
    public:
        void show(const QString &, const QString &) override {}
    };
    return StudioServices{std::make_unique<QtMicrophoneAccess>(), std::make_unique<QtTrash>(),
                          std::make_unique<NoFolder>(), std::make_unique<SilentAlert>(),
                          std::make_unique<ReadOnlyDefaults>(std::make_unique<SettingsDefaults>())};
}

std::unique_ptr<Studio> openStudio(const QString &folder)
{
    auto studio = std::make_unique<Studio>(Studio::defaultRoot(), terminalServices(),
                                           std::make_unique<QtAudioBackend>(), false);
    studio->open(ProjectStore(folder));
    return studio;
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

void status(const QString &folder)
{
    const std::unique_ptr<Studio> studio = openStudio(folder);
    QString text;
    for (const ScriptBlock &block : studio->blocks())
        text += block.number + u'\t' + studio->status(block) + u'\n';
    text += QString::number(studio->doneCount()) + u" из "_s + QString::number(studio->blocks().size())
          + u" блоков озвучено\n"_s;
    write(stdout, text);
}

void devices()
{
    QString text;
    for (const AudioInputDevice &device : QtAudioBackend().inputDevices())
        text += device.id + u'\t' + device.description + u'\n';
    write(stdout, text);
}

struct RecordOptions
{
    QString folder;
    QString blockNumber;
    double seconds = 3.0;
    std::optional<QString> device;
};

RecordOptions recordOptions(const QStringList &arguments)
{
    RecordOptions options;
    options.folder = arguments.value(1);
    for (qsizetype i = 2; i < arguments.size(); i += 2) {
        if (i + 1 >= arguments.size())
            throw UsageError();
        const QString &value = arguments.at(i + 1);
        if (arguments.at(i) == u"--block") {
            options.blockNumber = value;
        } else if (arguments.at(i) == u"--seconds") {
            bool number = false;
            options.seconds = value.toDouble(&number);
            if (!number || !(options.seconds > 0.0) || options.seconds > 24 * 3600)
                throw UsageError();
        } else if (arguments.at(i) == u"--device") {
            options.device = value;
        } else {
            throw UsageError();
        }
    }
    if (options.folder.isEmpty() || options.blockNumber.isNull())
        throw UsageError();
    return options;
}

// SIGINT and SIGTERM end a take as quitting the window does: saved first. The handler only
// writes a byte; the event loop does the rest.
int signalPipe[2] = {-1, -1}; // NOLINT(cppcoreguidelines-avoid-non-const-global-variables): a signal handler needs it

void onSignal(int)
{
    const char byte = 1;
    (void)::write(signalPipe[1], &byte, 1);
}

int record(const RecordOptions &options)
{
    const std::unique_ptr<Studio> studio = openStudio(options.folder);
    if (options.device)
        studio->audio().setInputDeviceID(*options.device);
    const QList<ScriptBlock> &blocks = studio->blocks();
    const auto block = std::find_if(blocks.cbegin(), blocks.cend(),
                                    [&](const ScriptBlock &b) { return b.number == options.blockNumber; });
    if (block == blocks.cend())
        throw StudioError(u"В сценарии нет блока с номером «"_s + options.blockNumber + u"»"_s);
    if (const std::optional<QString> issue = block->voiceMarkerIssue())
        throw StudioError(u"Блок "_s + block->number + u": "_s + *issue);

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        throw StudioError(u"Не удалось подготовить обработку сигналов"_s);
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    std::optional<Take> take;
    bool quitWhenIdle = false;
    const auto finish = [&] {
        // A failed save keeps the take pending for the next `check`; busy means not yet.
        if (studio->prepareToQuit() || !studio->busy())
            QCoreApplication::quit();
    };
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, studio.get(), [&] {
        char byte = 0;
        (void)::read(signalPipe[0], &byte, 1);
        quitWhenIdle = true;
        finish();
    });
    QTimer stopTimer;
    stopTimer.setSingleShot(true);
    QObject::connect(&stopTimer, &QTimer::timeout, studio.get(), [&] {
        studio->stopRecording();
        QCoreApplication::quit();
    });
    QObject::connect(studio.get(), &Studio::busyChanged, studio.get(), [&] {
        if (studio->busy())
            return;
        take = studio->pendingTake();
        if (!studio->recording()) {
            QCoreApplication::quit(); // the start failed; `message` says why
            return;
        }
        if (quitWhenIdle)
            finish();
        else
            stopTimer.start(static_cast<int>(options.seconds * 1000));
    });
    // A device that ends the take on its own: the studio has already saved what was captured.
    QObject::connect(studio.get(), &Studio::audioStateChanged, studio.get(), [&] {
        if (!studio->busy() && !studio->recording() && take)
            QCoreApplication::quit();
    });

    studio->selectBlock(block->id);
    studio->record(*block);
    if (!studio->busy())
        throw StudioError(u"Запись не началась: "_s + studio->message());
    QCoreApplication::exec();

    // The outcome is read from the studio, whichever way the loop ended. A take the device ended
    // is saved all the same; the line ahead of "Дубль сохранён" tells the speaker to listen to it.
    const QString &message = studio->message();
    const bool saved = message.endsWith(u"Дубль сохранён") && !message.startsWith(u"Ошибка: ");
    if (saved && take && !studio->pendingTake()) {
        write(stdout, message + u'\n' + studio->store()->audioURL(*take) + u'\n');
        return 0;
    }
    write(stderr, (message.startsWith(u"Ошибка: ") ? message : u"Ошибка: "_s + message) + u'\n');
    return 1;
}

int run(const QStringList &arguments)
{
    if (arguments.size() == 1 && (arguments[0] == u"--help" || arguments[0] == u"-h")) {
        write(stdout, usage);
        return 0;
    }
    const QString command = arguments.value(0);
    if (command == u"record")
        return record(recordOptions(arguments));
    if (command == u"devices" && arguments.size() == 1) {
        devices();
        return 0;
    }
    if (arguments.size() != 2)
        throw UsageError();
    if (command == u"validate")
        validate(arguments[1]);
    else if (command == u"check")
        check(arguments[1]);
    else if (command == u"status")
        status(arguments[1]);
    else
        throw UsageError();
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // stderr carries one "Ошибка: " line; Qt's own diagnostics (a missing sound server, say)
    // would break that contract. TARNWICK_DEBUG brings them back.
    if (!qEnvironmentVariableIsSet("TARNWICK_DEBUG"))
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
            if (type == QtFatalMsg)
                write(stderr, text + u'\n');
        });
    const QCoreApplication application(argc, argv);
    try {
        return run(QCoreApplication::arguments().mid(1));
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
