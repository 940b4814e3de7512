// tarnwick: the window. One studio, made before any window and kept until the program ends.

#include "audio/QtAudioBackend.h"
#include "studio/QtServices.h"
#include "studio/Studio.h"
#include "ui/DialogServices.h"
#include "ui/StudioSettingsView.h"
#include "ui/StudioView.h"
#include "ui/ViewSettings.h"

#include <QApplication>
#include <QSessionManager>

using namespace Qt::StringLiterals;
using namespace tarnwick;

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(u"Tarnwick"_s);
    QApplication::setApplicationName(u"Tarnwick"_s);

    // The dialogs are parented once the window exists; the studio owns them from the start.
    auto chooser = std::make_unique<QtFileChooser>();
    auto alert = std::make_unique<QtModalAlert>();
    QtFileChooser *chooserHandle = chooser.get();
    QtModalAlert *alertHandle = alert.get();
    Studio studio(Studio::defaultRoot(),
                  StudioServices{std::make_unique<QtMicrophoneAccess>(), std::make_unique<QtTrash>(),
                                 std::move(chooser), std::move(alert), std::make_unique<SettingsDefaults>()},
                  std::make_unique<QtAudioBackend>(), true);

    SettingsDefaults viewDefaults; // the same settings file as the studio's
    ViewSettings settings(viewDefaults);
    StudioView window(studio, settings);
    StudioSettingsView settingsWindow(studio, settings);
    chooserHandle->parent = &window;
    alertHandle->parent = &window;
    studio.confirmTakeRemoval = takeRemovalDialog(&window);

    QObject::connect(&window, &StudioView::settingsRequested, &settingsWindow, [&settingsWindow] {
        settingsWindow.show();
        settingsWindow.raise();
        settingsWindow.activateWindow();
    });
    // Quitting goes through the main window's close, which asks the studio first.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&window, &StudioView::closed, &application, [&settingsWindow] {
        settingsWindow.close();
        QApplication::quit();
    });
    // Logging out asks too: a take that cannot be saved cancels the logout.
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &studio, [&studio](QSessionManager &session) {
        if (!studio.prepareToQuit())
            session.cancel();
    });
    window.show();
    return QApplication::exec();
}
