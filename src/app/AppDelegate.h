#pragma once

#include "studio/Services.h"
#include "studio/Studio.h"

#include <memory>

class QWidget;

namespace tarnwick {

class QtFileChooser;
class QtModalAlert;

/// Owns the program's one studio, made before any window and kept until the program ends, and
/// answers the program's two quit questions.
class AppDelegate final
{
public:
    /// The studio on the data folder with the user's settings and the real sound, opening the
    /// start project at once.
    AppDelegate();
    /// Over a studio of the caller's; `viewDefaults` is where the windows keep their own settings.
    AppDelegate(std::unique_ptr<Studio> studio, std::unique_ptr<UserDefaults> viewDefaults);
    ~AppDelegate();

    Studio &studio() { return *m_studio; }
    UserDefaults &viewDefaults() { return *m_viewDefaults; }

    /// Closing the main window ends the program.
    static bool shouldTerminateAfterLastWindowClosed() { return true; }
    /// Asks the studio to wind up; false keeps the program running with its state intact.
    bool shouldTerminate() { return m_studio->prepareToQuit(); }

    /// Dialogs and confirmations open over `window` from now on.
    void attachWindow(QWidget *window);

private:
    QtFileChooser *m_chooser = nullptr; // owned by the studio; none over a caller's studio
    QtModalAlert *m_alert = nullptr;
    std::unique_ptr<UserDefaults> m_viewDefaults;
    std::unique_ptr<Studio> m_studio;
};

} // namespace tarnwick
