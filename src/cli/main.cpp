// tarnwick-cli: the project's rules from a terminal. Output and exit codes are a contract:
// 0 success, 1 "Ошибка: " + description on stderr, 2 wrong usage.

#include "audio/PulseAudioBackend.h"
#include "core/FiguresCache.h"
#include "core/FileAccess.h"
#include "core/ProjectLease.h"
#include "core/ProjectStore.h"
#include "core/ScriptBlock.h"
#include "core/StudioError.h"
#include "core/ScenarioFile.h"
#include "studio/QtServices.h"
#include "studio/Studio.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
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
                   "  tarnwick-cli takes ПАПКА [--block НОМЕР] [--json]\n"
                   "                                 дубли с громкостью, пиками и метками; недостающие\n"
                   "                                 замеры делаются сначала\n"
                   "  tarnwick-cli devices           входные устройства: ID<TAB>описание\n"
                   "  tarnwick-cli import ФАЙЛ [--data-dir ПАПКА]\n"
                   "                                 создать проект из JSON или XLSX в папке данных\n"
                   "  tarnwick-cli split ПАПКА --block НОМЕР [--yes]\n"
                   "                                 разбить блок на предложения; с --yes его дубли\n"
                   "                                 уходят в Корзину\n"
                   "  tarnwick-cli export ПАПКА ПАПКА_ЭКСПОРТА [--preset r128|web|stream|none]\n"
                   "                   [--gain take|programme] [--no-trim] [--gap С] [--fps N] [--partial]\n"
                   "                                 выбранные дубли для монтажа: WAV по порядку сценария,\n"
                   "                                 cues.csv, таймлайны, programme.wav, SHA256SUMS\n"
                   "  tarnwick-cli --help            показать эту справку\n"
                   "  tarnwick-cli --version         показать версию\n"_s;

class UsageError
{
};

void write(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

/// A terminal has nobody to answer a dialog: the only file "chosen" is the one named on the
/// command line, alerts go unseen (the outcome is printed anyway), and the window's remembered
/// project is left as it was.
StudioServices terminalServices(const QString &scenarioFile = {})
{
    class GivenFile final : public FileChooser
    {
    public:
        explicit GivenFile(QString file)
            : m_file(std::move(file))
        {
        }
        std::optional<QString> chooseFolder(const QString &) override { return std::nullopt; }
        std::optional<QString> chooseScenarioFile(const QString &) override
        {
            return m_file.isEmpty() ? std::nullopt : std::optional(m_file);
        }

    private:
        QString m_file;
    };
    class SilentAlert final : public ModalAlert
    {
    public:
        void show(const QString &, const QString &) override {}
    };
    return StudioServices{std::make_unique<QtMicrophoneAccess>(), std::make_unique<QtTrash>(),
                          std::make_unique<GivenFile>(scenarioFile), std::make_unique<SilentAlert>(),
                          std::make_unique<ReadOnlyDefaults>(std::make_unique<SettingsDefaults>())};
}

/// The block with this number, first in scenario order.
const ScriptBlock &blockNumbered(const Studio &studio, const QString &number)
{
    const QList<ScriptBlock> &blocks = studio.blocks();
    const auto found = std::find_if(blocks.cbegin(), blocks.cend(),
                                    [&](const ScriptBlock &b) { return b.number == number; });
    if (found == blocks.cend())
        throw StudioError(u"В сценарии нет блока с номером «"_s + number + u"»"_s);
    return *found;
}

/// A command that did not come to what was asked, as the one stderr line of the contract.
[[noreturn]] void fail(const Outcome &outcome)
{
    throw StudioError(outcome.error);
}

std::unique_ptr<Studio> openStudio(const QString &folder)
{
    auto studio = std::make_unique<Studio>(Studio::defaultRoot(), terminalServices(),
                                           std::make_unique<PulseAudioBackend>(), false);
    studio->open(ProjectStore(folder));
    return studio;
}

void validate(const QString &file)
{
    const QList<ScriptBlock> blocks = readScenarioFile(file);
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
        text += block.number + u'\t' + statusText(studio->status(block)) + u'\n';
    text += QString::number(studio->doneCount()) + u" из "_s + QString::number(studio->blocks().size())
          + u" блоков озвучено\n"_s;
    write(stdout, text);
}

void devices()
{
    QString text;
    for (const AudioInputDevice &device : PulseAudioBackend().inputDevices())
        text += device.id + u'\t' + device.description + u'\n';
    write(stdout, text);
}

/// Options after the first argument: "--name value" pairs and bare flags.
QHash<QString, QString> options(const QStringList &arguments, const QStringList &withValue, const QStringList &flags)
{
    QHash<QString, QString> found;
    for (qsizetype i = 2; i < arguments.size(); ++i) {
        const QString &name = arguments.at(i);
        if (flags.contains(name) && !found.contains(name)) {
            found.insert(name, {});
        } else if (withValue.contains(name) && !found.contains(name) && i + 1 < arguments.size()) {
            found.insert(name, arguments.at(++i));
        } else {
            throw UsageError();
        }
    }
    return found;
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
    const QHash<QString, QString> given =
        options(arguments, {u"--block"_s, u"--seconds"_s, u"--device"_s}, {});
    if (arguments.value(1).isEmpty() || !given.contains(u"--block"_s))
        throw UsageError();
    RecordOptions options{arguments.value(1), given.value(u"--block"_s), 3.0, std::nullopt};
    if (given.contains(u"--seconds"_s)) {
        bool number = false;
        options.seconds = given.value(u"--seconds"_s).toDouble(&number);
        if (!number || !(options.seconds > 0.0) || options.seconds > 24 * 3600)
            throw UsageError();
    }
    if (given.contains(u"--device"_s))
        options.device = given.value(u"--device"_s);
    return options;
}

// SIGINT and SIGTERM reach the event loop: the handler only writes a byte, and `handle` does the
// rest there. A take is saved first, as quitting the window does; an export is cancelled.
int signalPipe[2] = {-1, -1}; // NOLINT(cppcoreguidelines-avoid-non-const-global-variables): a signal handler needs it

void onSignal(int)
{
    const char byte = 1;
    (void)::write(signalPipe[1], &byte, 1);
}

std::unique_ptr<QSocketNotifier> onInterrupt(QObject *context, const std::function<void()> &handle)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        throw StudioError(u"Не удалось подготовить обработку сигналов"_s);
    auto notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, context, [handle] {
        char byte = 0;
        (void)::read(signalPipe[0], &byte, 1);
        handle();
    });
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    return notifier;
}

int record(const RecordOptions &options)
{
    const std::unique_ptr<Studio> studio = openStudio(options.folder);
    if (options.device)
        studio->audio().setInputDeviceID(*options.device);
    const ScriptBlock *block = &blockNumbered(*studio, options.blockNumber);
    if (const std::optional<QString> issue = block->voiceMarkerIssue())
        throw StudioError(u"Блок "_s + block->number + u": "_s + *issue);

    std::optional<Take> take;
    bool quitWhenIdle = false;
    const auto finish = [&] {
        // A failed save keeps the take pending for the next `check`; busy means not yet.
        if (studio->prepareToQuit() || !studio->busy())
            QCoreApplication::quit();
    };
    const std::unique_ptr<QSocketNotifier> interrupts = onInterrupt(studio.get(), [&] {
        quitWhenIdle = true;
        finish();
    });
    // The take ends after exactly the frames asked for; a microphone that sends nothing is
    // given five seconds more, then the take is stopped, and found empty.
    const auto stop = [&] {
        studio->stopRecording();
        QCoreApplication::quit();
    };
    studio->audio().setFrameLimit(std::llround(options.seconds * AudioController::sampleRate));
    QObject::connect(&studio->audio(), &AudioController::frameLimitReached, studio.get(), stop);
    QTimer stopTimer;
    stopTimer.setSingleShot(true);
    QObject::connect(&stopTimer, &QTimer::timeout, studio.get(), stop);
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
            stopTimer.start(static_cast<int>((options.seconds + 5) * 1000));
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
    if (studio->outcome().result == Outcome::Result::done && take && !studio->pendingTake()) {
        write(stdout, studio->message() + u'\n' + studio->store()->audioURL(*take) + u'\n');
        return 0;
    }
    fail(studio->outcome());
}

int importScenario(const QStringList &arguments)
{
    const QHash<QString, QString> given = options(arguments, {u"--data-dir"_s}, {});
    const QString file = QFileInfo(arguments.value(1)).absoluteFilePath();
    const QString dataFolder = given.contains(u"--data-dir"_s)
                                   ? QFileInfo(given.value(u"--data-dir"_s)).absoluteFilePath()
                                   : Studio::defaultRoot();
    Studio studio(dataFolder, terminalServices(file), std::make_unique<PulseAudioBackend>(), false);
    QObject::connect(&studio, &Studio::busyChanged, &studio, [&] {
        if (!studio.busy())
            QCoreApplication::quit();
    });
    studio.importScenario();
    if (studio.busy())
        QCoreApplication::exec();
    if (studio.outcome().result != Outcome::Result::done || !studio.store())
        fail(studio.outcome());
    write(stdout, studio.store()->root() + u'\n');
    return 0;
}

/// A figure for the text listing: one decimal place, or "-" when there is none.
QString figureText(std::optional<double> value, int decimals = 1)
{
    return value ? QString::number(*value, 'f', decimals) : u"-"_s;
}

int takes(const QStringList &arguments)
{
    const QHash<QString, QString> given = options(arguments, {u"--block"_s}, {u"--json"_s});
    const ProjectStore store(arguments.value(1));
    const ProjectLease lease(store.root());
    const ProjectContents contents = store.load();

    QHash<QString, QString> numberOf; // by recording id
    for (const ScriptBlock &block : contents.blocks) {
        for (const VoiceSegment &segment : block.voiceSegments())
            numberOf.insert(segment.id, block.number);
    }
    const bool oneBlock = given.contains(u"--block"_s);
    const auto numbered = [&](const ScriptBlock &block) { return block.number == given.value(u"--block"_s); };
    if (oneBlock && std::none_of(contents.blocks.cbegin(), contents.blocks.cend(), numbered))
        throw StudioError(u"В сценарии нет блока с номером «"_s + given.value(u"--block"_s) + u"»"_s);
    QList<Take> listed;
    for (const Take &take : contents.takes) {
        if (!oneBlock || numberOf.value(take.blockID) == given.value(u"--block"_s))
            listed.append(take);
    }
    QHash<QUuid, TakeFigures> figures;
    figuresOfTakes(
        store, listed, [&](const QUuid &id, const TakeFigures &measured) { figures.insert(id, measured); },
        oneBlock ? FiguresCache::Scope::someTakes : FiguresCache::Scope::allTakes);

    // Numbered oldest first within a recording id, manifest order on ties.
    QList<Take> byAge = contents.takes;
    std::stable_sort(byAge.begin(), byAge.end(),
                     [](const Take &a, const Take &b) { return a.createdAt < b.createdAt; });
    QHash<QUuid, int> numbers;
    QHash<QString, int> counts;
    for (const Take &take : byAge)
        numbers.insert(take.id, ++counts[take.blockID]);

    QJsonArray array;
    QString text;
    for (const Take &take : listed) {
        const QString number = numberOf.value(take.blockID);
        const std::optional<TakeFigures> found =
            figures.contains(take.id) ? std::optional(figures.value(take.id)) : std::nullopt;
        QStringList flags;
        if (found) {
            for (const TakeFlag flag : takeFlags(*found))
                flags.append(flagName(flag));
        }
        QJsonObject json = found ? toJson(*found) : toJson(TakeFigures{});
        if (!found) { // no file to measure: every figure is unknown
            for (auto it = json.begin(); it != json.end(); ++it)
                *it = QJsonValue::Null;
        }
        json.insert(u"id"_s, uuidText(take.id));
        json.insert(u"blockNumber"_s, number.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(number));
        json.insert(u"recordingID"_s, take.blockID);
        json.insert(u"take"_s, numbers.value(take.id));
        json.insert(u"chosen"_s, take.selected);
        json.insert(u"fileName"_s, take.fileName);
        json.insert(u"flags"_s, QJsonArray::fromStringList(flags));
        array.append(json);
        text += (number.isEmpty() ? u"-"_s : number) + u'\t' + take.blockID + u'\t' +
                QString::number(numbers.value(take.id)) + u'\t' + (take.selected ? u"*"_s : u"-"_s) + u'\t' +
                figureText(found ? std::optional(found->durationSeconds) : std::nullopt, 2) + u'\t' +
                figureText(found ? found->integratedLUFS : std::nullopt) + u'\t' +
                figureText(found ? std::optional(found->truePeakDBTP) : std::nullopt) + u'\t' +
                (flags.isEmpty() ? u"-"_s : flags.join(u',')) + u'\n';
    }
    write(stdout, given.contains(u"--json"_s) ? QString::fromUtf8(QJsonDocument(array).toJson()) : text);
    return 0;
}

int split(const QStringList &arguments)
{
    const QHash<QString, QString> given = options(arguments, {u"--block"_s}, {u"--yes"_s});
    if (!given.contains(u"--block"_s))
        throw UsageError();
    const std::unique_ptr<Studio> studio = openStudio(arguments.value(1));
    const ScriptBlock block = blockNumbered(*studio, given.value(u"--block"_s));
    std::optional<qsizetype> refused;
    studio->confirmTakeRemoval = [&](const ScriptBlock &, qsizetype count) {
        if (given.contains(u"--yes"_s))
            return true;
        refused = count;
        return false;
    };
    const Outcome outcome = studio->splitIntoSentences(block);
    if (outcome.result == Outcome::Result::cancelled && refused)
        throw StudioError(u"У блока "_s + block.number + u" есть дубли: "_s + QString::number(*refused)
                          + u". Чтобы переместить их в Корзину и разбить блок, добавьте --yes"_s);
    if (outcome.result != Outcome::Result::done)
        fail(outcome);

    QString text = studio->message() + u'\n';
    for (const ScriptBlock &b : studio->blocks()) {
        if (b.id == block.id) {
            for (const VoiceSegment &segment : b.voiceSegments())
                text += segment.label + u'\n';
        }
    }
    write(stdout, text);
    return 0;
}

ExportOptions exportOptions(const QStringList &arguments)
{
    const QHash<QString, QString> given = options(arguments, {u"--preset"_s, u"--gain"_s, u"--gap"_s, u"--fps"_s},
                                                  {u"--no-trim"_s, u"--partial"_s});
    ExportOptions chosen;
    if (given.contains(u"--preset"_s)) {
        const std::optional<LoudnessPreset> preset = loudnessPresetNamed(given.value(u"--preset"_s));
        if (!preset)
            throw UsageError();
        chosen.preset = *preset;
    }
    if (given.contains(u"--gain"_s)) {
        const QString gain = given.value(u"--gain"_s);
        if (gain != u"take" && gain != u"programme")
            throw UsageError();
        chosen.gain = gain == u"take" ? GainMode::take : GainMode::programme;
    }
    bool number = true;
    if (given.contains(u"--gap"_s))
        chosen.gapSeconds = given.value(u"--gap"_s).toDouble(&number);
    if (!number || !(chosen.gapSeconds >= 0.0 && chosen.gapSeconds <= 3600.0))
        throw UsageError();
    if (given.contains(u"--fps"_s))
        chosen.fps = given.value(u"--fps"_s).toInt(&number);
    if (!number || chosen.fps < 1 || chosen.fps > 120)
        throw UsageError();
    chosen.trim = !given.contains(u"--no-trim"_s);
    chosen.partial = given.contains(u"--partial"_s);
    return chosen;
}

int exportForEditor(const QStringList &arguments)
{
    if (arguments.size() < 3 || arguments.at(2).startsWith(u"--"_s))
        throw UsageError();
    // The output folder is the second operand; the options follow it.
    QStringList rest = arguments;
    const QString outDir = rest.takeAt(2);
    const ExportOptions chosen = exportOptions(rest);
    const std::unique_ptr<Studio> studio = openStudio(arguments.at(1));
    // Cancelled, the export leaves no unfinished file and the earlier export as it was.
    const std::unique_ptr<QSocketNotifier> interrupts = onInterrupt(studio.get(), [&] { studio->cancelExport(); });
    QObject::connect(studio.get(), &Studio::exportingChanged, studio.get(), [&] {
        if (!studio->exporting())
            QCoreApplication::quit();
    });
    studio->exportForEditor(QFileInfo(outDir).absoluteFilePath(), chosen);
    if (!studio->exporting())
        throw StudioError(u"Экспорт не начался: "_s + studio->message());
    QCoreApplication::exec();
    if (studio->outcome().result != Outcome::Result::done)
        fail(studio->outcome());
    write(stdout, studio->message() + u'\n');
    return 0;
}

int run(const QStringList &arguments)
{
    if (arguments.size() == 1 && (arguments[0] == u"--help" || arguments[0] == u"-h")) {
        write(stdout, usage);
        return 0;
    }
    if (arguments.size() == 1 && arguments[0] == u"--version") {
        write(stdout, u"tarnwick-cli " TARNWICK_VERSION "\n"_s);
        return 0;
    }
    const QString command = arguments.value(0);
    if (command == u"record")
        return record(recordOptions(arguments));
    if (command == u"import" && arguments.size() >= 2)
        return importScenario(arguments);
    if (command == u"split" && arguments.size() >= 2)
        return split(arguments);
    if (command == u"export")
        return exportForEditor(arguments);
    if (command == u"takes" && arguments.size() >= 2)
        return takes(arguments);
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
