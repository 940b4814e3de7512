// kill-soak N [SEED]: N times, starts a three-second `tarnwick-cli record` against a private
// sound server (PipeWire when TARNWICK_SOUND_SERVER is "pipewire", else PulseAudio), kills it with SIGKILL at a random moment (starting, announcing the take,
// recording or committing it), runs `check`, and verifies that no saved take is lost or changed
// and nothing but the project's own files stays behind. Exits 1 on any broken invariant.
#include "core/Manifest.h"
#include "core/ProjectStore.h"
#include "core/SampleScenario.h"
#include "support/SoundServer.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QThread>

#include <csignal>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

QByteArray hashOf(const QString &path)
{
    return QCryptographicHash::hash(readBytes(path), QCryptographicHash::Sha256);
}

int fail(int run, const QString &what)
{
    std::fprintf(stderr, "run %d: %s\n", run, qPrintable(what));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    const QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    std::mt19937 dice(argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : std::random_device()());
    QString whyNot;
    const bool pipeWire = qgetenv("TARNWICK_SOUND_SERVER") == "pipewire";
    const std::unique_ptr<SoundServer> server =
        SoundServer::start(pipeWire ? SoundServer::Flavour::PipeWire : SoundServer::Flavour::PulseAudio, &whyNot);
    if (!server)
        return fail(0, u"no private sound server: "_s + whyNot);
    QTemporaryDir dir;
    const ProjectStore store = ProjectStore::create(dir.path(), sampleScenario(), u"Soak"_s);
    QProcessEnvironment environment = server->clientEnvironment();
    environment.insert(u"HOME"_s, dir.filePath(u"home"_s));
    const QStringList own{u".tarnwick.lock"_s, u"Recordings"_s, u"manifest.json"_s, u"scenario.json"_s};

    QHash<QUuid, QByteArray> saved; // every committed take and the hash of its sound
    int committed = 0;
    for (int run = 1; run <= runs; ++run) {
        const auto recorder = startProgram(QStringLiteral(TARNWICK_CLI_PATH),
                                           {u"record"_s, store.root(), u"--block"_s, u"1"_s, u"--seconds"_s, u"3"_s,
                                            u"--device"_s, QLatin1StringView(SoundServer::microphoneID)},
                                           environment);
        QThread::msleep(std::uniform_int_distribution<unsigned>(0, 4500)(dice));
        ::kill(static_cast<pid_t>(recorder->processId()), SIGKILL);
        recorder->waitForFinished();

        const ProgramResult check = runProgram(QStringLiteral(TARNWICK_CLI_PATH), {u"check"_s, store.root()}, environment);
        if (check.exitCode != 0)
            return fail(run, u"check failed: "_s + check.err);
        const QList<Take> takes = decodeManifest(readBytes(store.manifestFile()), store.manifestFile()).takes;
        QStringList wavs;
        for (const Take &take : takes) {
            wavs.append(take.fileName);
            const QByteArray hash = hashOf(store.audioURL(take));
            if (saved.contains(take.id) && saved.value(take.id) != hash)
                return fail(run, u"the sound of a saved take changed: "_s + take.fileName);
            committed += saved.contains(take.id) ? 0 : 1;
            saved.insert(take.id, hash);
        }
        for (auto it = saved.cbegin(); it != saved.cend(); ++it) {
            if (std::none_of(takes.cbegin(), takes.cend(), [&](const Take &take) { return take.id == it.key(); }))
                return fail(run, u"a saved take was lost: "_s + uuidText(it.key()));
        }
        wavs.sort();
        if (entries(store.recordingsFolder()) != wavs)
            return fail(run, u"Recordings holds files of no take: "_s + entries(store.recordingsFolder()).join(u", "_s));
        QStringList found = entries(store.root());
        found.removeOne(u"analysis.json"_s); // appears once a take has been measured
        if (found != own)
            return fail(run, u"the project folder holds "_s + entries(store.root()).join(u", "_s));
    }
    std::printf("%d kills, %d takes committed, none lost or changed\n", runs, committed);
    return 0;
}
