// Records one take with the real backend, in a process of its own, so a test can kill it mid-take
// or run it against a missing sound server without disturbing its own Qt Multimedia state.
//
// usage: audio-record-take <file.wav> <seconds> [input device id]
//        audio-record-take --list-inputs    (one "id<TAB>description" line per input)
// stdout: "recording" once the take runs, then "stopped <highest level>"; on failure the error's
// message and the controller's state go to stderr and the exit status is 2.

#include "audio/AudioController.h"
#include "audio/QtAudioBackend.h"
#include "core/StudioError.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;
using namespace tarnwick;

int main(int argc, char **argv)
{
    const QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) == u"--list-inputs"_s) {
        for (const AudioInputDevice &input : QtAudioBackend().inputDevices())
            std::printf("%s\t%s\n", input.id.toUtf8().constData(), input.description.toUtf8().constData());
        return 0;
    }
    if (arguments.size() < 3) {
        std::fputs("usage: audio-record-take <file.wav> <seconds> [input device id]\n", stderr);
        return 64;
    }
    AudioController controller(std::make_unique<QtAudioBackend>());
    if (arguments.size() > 3)
        controller.setInputDeviceID(arguments.at(3));

    float highest = 0.0f;
    QObject::connect(&controller, &AudioController::levelChanged, &controller,
                     [&] { highest = std::max(highest, controller.level()); });
    controller.onRecordingError = [](const QString &message) {
        std::fprintf(stderr, "%s\n", message.toUtf8().constData());
        QCoreApplication::exit(3);
    };
    try {
        controller.start(arguments.at(1));
    } catch (const StudioError &error) {
        std::fprintf(stderr, "%s\n%s\n", error.what(), controller.recording() ? "recording" : "idle");
        return 2;
    }
    std::puts("recording");
    std::fflush(stdout);

    QTimer::singleShot(static_cast<int>(arguments.at(2).toDouble() * 1000), Qt::PreciseTimer, &controller, [&] {
        controller.stopRecording();
        QCoreApplication::quit();
    });
    const int status = QCoreApplication::exec();
    std::printf("stopped %.3f\n", static_cast<double>(highest));
    return status;
}
