// kill-soak N: records N short takes with tarnwick-cli against a private sound server, kills each
// recorder with SIGKILL at a moment chosen to land before, during or after the pending record,
// mid-take or mid-commit, runs `check`, and verifies that no saved take is ever lost or changed.
// Prints the outcomes per kill phase; exits 1 on any broken invariant.
//
// No stray WAV is allowed in Recordings, not even a dropped take's: a take is dropped only when
// its file does not exist, and the file appears only with its header written. Nothing but the
// project's own files may stay in the project folder either. SOAK_VERBOSE=1 prints each run.

#include "core/Manifest.h"
#include "core/ProjectStore.h"
#include "core/SampleScenario.h"
#include "core/StudioError.h"
#include "core/Take.h"
#include "support/SoundServer.h"
#include "support/WavFile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QTemporaryDir>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

extern char **environ; // NOLINT(cppcoreguidelines-avoid-non-const-global-variables): the C library's

namespace {

/// Where the kill is aimed. The phase actually hit is read from the disk afterwards.
enum class Aim { startUp, pendingWrite, wavCreated, recording, manifestWrite, manifestRenamed };
constexpr Aim aims[] = {Aim::startUp,   Aim::pendingWrite,  Aim::wavCreated,
                        Aim::recording, Aim::manifestWrite, Aim::manifestRenamed};

const char *aimName(Aim aim)
{
    switch (aim) {
    case Aim::startUp:
        return "start-up (random moment)";
    case Aim::pendingWrite:
        return "pending record appearing";
    case Aim::wavCreated:
        return "WAV file just created";
    case Aim::recording:
        return "recording (random moment)";
    case Aim::manifestWrite:
        return "manifest being written";
    case Aim::manifestRenamed:
        return "manifest replaced";
    }
    return "";
}

QByteArray hashOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// One child process with its own environment, its output kept in a file.
class Child
{
public:
    Child(const QStringList &arguments, const QStringList &environment, const QString &log)
    {
        std::vector<QByteArray> storage;
        for (const QString &argument : arguments)
            storage.push_back(argument.toLocal8Bit());
        const auto args = storage.size();
        for (const QString &variable : environment)
            storage.push_back(variable.toLocal8Bit());
        std::vector<char *> argv, envp;
        for (std::size_t i = 0; i < storage.size(); ++i)
            (i < args ? argv : envp).push_back(storage[i].data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const QByteArray logPath = QFile::encodeName(log);
        posix_spawn_file_actions_addopen(&actions, 1, logPath.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child() { kill(); }

    bool started() const { return m_pid > 0; }
    /// Whether it has ended; fills the status once it has.
    bool ended()
    {
        if (m_pid <= 0)
            return true;
        if (::waitpid(m_pid, &m_status, WNOHANG) == m_pid)
            m_pid = 0;
        return m_pid == 0;
    }
    void kill()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &m_status, 0);
        m_pid = 0;
    }
    /// Runs to the end, at most `seconds`; false when it had to be killed.
    bool wait(double seconds)
    {
        QElapsedTimer clock;
        clock.start();
        while (!ended()) {
            if (clock.elapsed() > seconds * 1000) {
                kill();
                return false;
            }
            ::usleep(2000);
        }
        return true;
    }
    int exitCode() const { return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1; }

private:
    pid_t m_pid = -1;
    int m_status = 0;
};

/// File events in the project folder, so a kill can follow the commit protocol's steps closely.
class Watch
{
public:
    explicit Watch(const QStringList &folders)
        : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        for (const QString &folder : folders)
            ::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(),
                                IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_CLOSE_WRITE);
    }
    ~Watch() { ::close(m_fd); }
    Watch(const Watch &) = delete;
    Watch &operator=(const Watch &) = delete;

    struct Event
    {
        uint32_t mask;
        QString name;
    };
    /// Events that arrive within `milliseconds`.
    QList<Event> next(int milliseconds)
    {
        pollfd descriptor{m_fd, POLLIN, 0};
        QList<Event> events;
        if (::poll(&descriptor, 1, milliseconds) <= 0)
            return events;
        alignas(inotify_event) char buffer[8192];
        const ssize_t size = ::read(m_fd, buffer, sizeof buffer);
        for (ssize_t offset = 0; offset < size;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
            events.append({event->mask, event->len ? QString::fromLocal8Bit(event->name) : QString()});
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
        return events;
    }

private:
    int m_fd;
};

struct Tally
{
    int runs = 0;
    QMap<QString, int> hit;        // the state the disk was in when the kill landed
    QMap<QString, int> afterCheck; // what `check` made of it
};

class Soak
{
public:
    Soak(const SoundServer &server, const QString &cli, const QString &folder)
        : m_cli(cli)
        , m_folder(folder)
        , m_store(ProjectStore::create(folder + u"/data/Projects"_s, sampleScenario(), u"Soak"_s))
    {
        QProcessEnvironment environment = server.clientEnvironment();
        environment.insert(u"HOME"_s, folder + u"/home"_s);
        environment.insert(u"XDG_CONFIG_HOME"_s, folder + u"/home/.config"_s);
        environment.insert(u"XDG_DATA_HOME"_s, folder + u"/home/.local/share"_s);
        environment.insert(u"TARNWICK_DATA_DIR"_s, folder + u"/data"_s);
        m_environment = environment.toStringList();
        for (const ScriptBlock &block : m_store.load().blocks)
            if (!block.voiceMarkerIssue())
                m_blocks.append(block.number);
    }

    /// One kill and its check; false when an invariant broke (already printed).
    bool run(int index, Aim aim, std::mt19937 &random)
    {
        const QList<Take> before = manifest();
        const QString block = m_blocks.at(index % m_blocks.size());
        const double seconds = std::uniform_real_distribution<double>(0.1, 0.6)(random);
        const QString log = m_folder + u"/record.log"_s;

        Watch watch({m_store.root(), m_store.recordingsFolder()});
        QElapsedTimer clock;
        clock.start();
        Child recorder({m_cli, u"record"_s, m_store.root(), u"--block"_s, block, u"--seconds"_s,
                        QString::number(seconds, 'f', 3), u"--device"_s,
                        QLatin1StringView(SoundServer::microphoneID)},
                       m_environment, log);
        if (!recorder.started())
            return violation(index, u"tarnwick-cli did not start"_s);

        const double startDelay = std::uniform_real_distribution<double>(0.0, m_pendingAfter)(random);
        const double recordDelay = std::uniform_real_distribution<double>(0.0, seconds)(random);
        std::optional<qint64> pendingAt;
        bool killed = false;
        while (!killed && !recorder.ended()) {
            if (clock.elapsed() > 30000)
                return violation(index,
                                 u"the recorder neither finished nor reached the aimed moment in 30 s"_s);
            for (const Watch::Event &event : watch.next(1)) {
                // A new file may appear under its own name at once (an unnamed file linked in).
                const bool pendingTemp =
                    event.name.startsWith(u"pending-take.json"_s) && (event.mask & IN_CREATE);
                const bool pendingDone =
                    event.name == u"pending-take.json" && (event.mask & (IN_MOVED_TO | IN_CREATE));
                const bool manifestTemp =
                    event.name.startsWith(u"manifest.json"_s) && (event.mask & IN_CREATE);
                const bool manifestDone = event.name == u"manifest.json" && (event.mask & IN_MOVED_TO);
                const bool wavCreated = event.name.endsWith(u".wav"_s) && (event.mask & IN_CREATE);
                if (pendingDone && !pendingAt)
                    pendingAt = clock.elapsed();
                if ((aim == Aim::pendingWrite && (pendingTemp || pendingDone)) ||
                    (aim == Aim::wavCreated && wavCreated) ||
                    (aim == Aim::manifestWrite && (manifestTemp || manifestDone)) ||
                    (aim == Aim::manifestRenamed && manifestDone)) {
                    recorder.kill();
                    killed = true;
                    break;
                }
            }
            if (killed)
                break;
            if ((aim == Aim::startUp && clock.elapsed() >= startDelay * 1000) ||
                (aim == Aim::recording && pendingAt && clock.elapsed() - *pendingAt >= recordDelay * 1000)) {
                recorder.kill();
                killed = true;
            }
        }
        if (qEnvironmentVariableIsSet("SOAK_VERBOSE"))
            std::printf("run %d: pending after %lld ms, ended after %lld ms, killed %d\n", index,
                        static_cast<long long>(pendingAt.value_or(-1)),
                        static_cast<long long>(clock.elapsed()), killed ? 1 : 0);
        if (pendingAt) // learn when the record appears, so start-up kills spread over that span
            m_pendingAfter = 0.8 * m_pendingAfter + 0.2 * (static_cast<double>(*pendingAt) / 1000.0);

        const QString state =
            killed ? diskState(before)
                   : u"finished before the kill (exit "_s + QString::number(recorder.exitCode()) + u')';
        if (state.isEmpty())
            return violation(index, u"a project file does not parse after the kill: "_s + m_problem);
        m_tally[aim].hit[state] += 1;
        m_tally[aim].runs += 1;

        return verifyCheck(index, aim, before);
    }

    bool verifyAtEnd()
    {
        // Every saved take's sound, unchanged since it was saved.
        for (auto it = m_hashes.cbegin(); it != m_hashes.cend(); ++it)
            if (hashOf(m_store.recordingsFolder() + u'/' + it.key()) != it.value())
                return violation(-1, u"the audio of a saved take changed: "_s + it.key());
        return true;
    }

    void report(int seconds) const
    {
        std::printf("kill soak: %d runs in %d s, %lld takes in the manifest, %d invariant violations\n",
                    m_runs, seconds, static_cast<long long>(manifest().size()), m_violations);
        for (const Aim aim : aims) {
            const auto it = m_tally.constFind(aim);
            if (it == m_tally.cend())
                continue;
            std::printf("\nkill aimed at: %s — %d runs\n", aimName(aim), it->runs);
            for (auto hit = it->hit.cbegin(); hit != it->hit.cend(); ++hit)
                std::printf("  on disk at the kill: %-52s %4d\n", qPrintable(hit.key()), hit.value());
            for (auto after = it->afterCheck.cbegin(); after != it->afterCheck.cend(); ++after)
                std::printf("  after check: %-60s %4d\n", qPrintable(after.key()), after.value());
        }
        std::fflush(stdout);
    }

    int violations() const { return m_violations; }

private:
    QList<Take> manifest() const
    {
        return decodeManifest(readAll(m_store.manifestFile()), m_store.manifestFile()).takes;
    }

    /// The protocol state the kill left, read from the files; empty when a file does not parse.
    QString diskState(const QList<Take> &before)
    {
        QList<Take> now;
        try {
            now = manifest();
        } catch (const StudioError &error) {
            m_problem = error.message();
            return {};
        }
        const bool grew = now.size() > before.size();
        if (!QFileInfo::exists(m_store.pendingFile()))
            return grew ? u"committed, record removed"_s : u"idle: no pending record"_s;
        Take pending;
        try {
            pending = decodeTake(readAll(m_store.pendingFile()), m_store.pendingFile());
        } catch (const StudioError &error) {
            m_problem = error.message();
            return {};
        }
        if (now.contains(pending))
            return u"committed, stale pending record"_s;
        if (!QFileInfo::exists(m_store.audioURL(pending)))
            return u"armed: pending record, no WAV"_s;
        return u"recording: pending record and WAV"_s;
    }

    bool verifyCheck(int index, Aim aim, const QList<Take> &before)
    {
        const bool hadPending = QFileInfo::exists(m_store.pendingFile());
        const QList<Take> beforeCheck = manifest();
        // After a kill mid-take, the first check is itself killed as it commits the take: the
        // recovery must survive a crash of its own.
        if (aim == Aim::recording && hadPending && !killCheckWhileRecovering(index))
            return false;
        Child check({m_cli, u"check"_s, m_store.root()}, m_environment, m_folder + u"/check.log"_s);
        if (!check.wait(30))
            return violation(index, u"check hung"_s);
        const QByteArray output = readAll(m_folder + u"/check.log"_s);
        if (check.exitCode() != 0)
            return violation(index, u"check failed: "_s + QString::fromUtf8(output));
        if (QFileInfo::exists(m_store.pendingFile()))
            return violation(index, u"a pending record is left after check"_s);

        QList<Take> after;
        try {
            after = manifest();
        } catch (const StudioError &error) {
            return violation(index, u"the manifest does not parse after check: "_s + error.message());
        }
        if (after.mid(0, before.size()) != before)
            return violation(index, u"a take saved before was lost or changed"_s);
        if (after.size() > before.size() + 1)
            return violation(index, u"more than one take was added"_s);
        if (output != "Проект открыт\nДублей: " + QByteArray::number(after.size()) + '\n')
            return violation(index, u"check reported: "_s + QString::fromUtf8(output));

        QString outcome;
        if (beforeCheck.size() > before.size())
            outcome = u"take saved by the recorder"_s;
        else if (after.size() > before.size())
            outcome = u"take recovered by check"_s;
        else if (hadPending)
            outcome = u"pending take dropped (no WAV)"_s;
        else
            outcome = u"nothing to do"_s;
        m_tally[aim].afterCheck[outcome] += 1;

        if (after.size() > before.size()) {
            const Take &added = after.constLast();
            const QString path = m_store.audioURL(added);
            const Wav wav = readWav(path);
            if (!wav.readable || !wav.is24BitMono48k())
                return violation(index,
                                 u"the new take's WAV is not a readable 24-bit mono 48 kHz file: "_s + path);
            m_hashes.insert(added.fileName, hashOf(path));
        }
        for (const Take &take : after)
            if (!QFileInfo(m_store.audioURL(take)).isFile())
                return violation(index, u"a take has no WAV: "_s + take.fileName);

        QStringList named;
        for (const Take &take : after)
            named.append(take.fileName);
        for (const QString &entry : QDir(m_store.recordingsFolder())
                                        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
            if (!named.contains(entry))
                return violation(index, u"a file in Recordings that the manifest does not name: "_s + entry);
        // Anything beyond the project's own files is debris of a write cut short; each is told once.
        const QStringList expected{u".tarnwick.lock"_s, u"Recordings"_s, u"manifest.json"_s,
                                   u"scenario.json"_s};
        for (const QString &entry :
             QDir(m_store.root()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
            if (!expected.contains(entry) && !m_debris.contains(entry)) {
                m_debris.append(entry);
                return violation(index, u"a file left in the project folder: "_s + entry);
            }
        }
        ++m_runs;
        return true;
    }

    bool killCheckWhileRecovering(int index)
    {
        Watch watch({m_store.root()});
        Child check({m_cli, u"check"_s, m_store.root()}, m_environment, m_folder + u"/check.log"_s);
        QElapsedTimer clock;
        clock.start();
        while (!check.ended()) {
            if (clock.elapsed() > 30000)
                return violation(index, u"the first check hung"_s);
            for (const Watch::Event &event : watch.next(1)) {
                if (event.name.startsWith(u"manifest.json"_s) && (event.mask & (IN_CREATE | IN_MOVED_TO))) {
                    check.kill();
                    m_tally[Aim::recording].afterCheck[u"(a first check killed mid-save)"_s] += 1;
                    return true;
                }
            }
        }
        return true;
    }

    bool violation(int index, const QString &what)
    {
        ++m_violations;
        ++m_runs;
        std::printf("run %d: VIOLATION: %s\n", index, qPrintable(what));
        std::fflush(stdout);
        return false;
    }

    QString m_cli;
    QString m_folder;
    ProjectStore m_store;
    QStringList m_environment;
    QStringList m_blocks;
    double m_pendingAfter = 0.3; // seconds from start to the pending record, learnt as we go
    QHash<QString, QByteArray> m_hashes;
    QMap<Aim, Tally> m_tally;
    QString m_problem;
    QStringList m_debris;
    int m_runs = 0;
    int m_violations = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    const QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    bool number = false;
    const int count = arguments.value(1).toInt(&number);
    if (!number || count <= 0) {
        std::fprintf(stderr, "usage: kill-soak N [SEED]\n");
        return 2;
    }
    const unsigned seed = arguments.size() > 2 ? arguments.at(2).toUInt() : std::random_device()();
    std::printf("kill soak: %d runs, seed %u\n", count, seed);

    QString whyNot;
    const std::unique_ptr<SoundServer> server = SoundServer::start(&whyNot);
    if (!server) {
        std::fprintf(stderr, "no private sound server: %s\n", qPrintable(whyNot));
        return 1;
    }
    const QTemporaryDir folder;
    Soak soak(*server, QStringLiteral(TARNWICK_CLI_PATH), folder.path());
    std::mt19937 random(seed);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i)
        soak.run(i, aims[i % std::size(aims)], random);
    soak.verifyAtEnd();
    soak.report(static_cast<int>(clock.elapsed() / 1000));
    return soak.violations() == 0 ? 0 : 1;
}
