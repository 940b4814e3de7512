#include "app/AppDelegate.h"

#include "audio/PulseAudioBackend.h"
#include "studio/QtServices.h"
#include "ui/DialogServices.h"

namespace tarnwick {

AppDelegate::AppDelegate()
{
    auto chooser = std::make_unique<QtFileChooser>(Studio::defaultRoot(), std::make_unique<SettingsDefaults>());
    auto alert = std::make_unique<QtModalAlert>();
    m_chooser = chooser.get();
    m_alert = alert.get();
    m_viewDefaults = std::make_unique<SettingsDefaults>(); // the same settings file as the studio's
    m_studio = std::make_unique<Studio>(
        Studio::defaultRoot(),
        StudioServices{std::make_unique<QtMicrophoneAccess>(), std::make_unique<QtTrash>(), std::move(chooser),
                       std::move(alert), std::make_unique<SettingsDefaults>()},
        std::make_unique<PulseAudioBackend>(), true);
}

AppDelegate::AppDelegate(std::unique_ptr<Studio> studio, std::unique_ptr<UserDefaults> viewDefaults)
    : m_viewDefaults(std::move(viewDefaults))
    , m_studio(std::move(studio))
{
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::attachWindow(QWidget *window)
{
    if (!m_chooser)
        return; // a caller's studio keeps the services it was given
    m_chooser->parent = window;
    m_alert->parent = window;
    m_studio->confirmTakeRemoval = takeRemovalDialog(window);
}

} // namespace tarnwick
