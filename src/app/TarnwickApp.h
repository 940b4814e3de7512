#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;
class QTranslator;

namespace tarnwick {

class AppDelegate;
class StudioSettingsView;
class StudioView;
class ViewSettings;

/// The program's windows around the delegate's studio: the main window and the settings window,
/// sharing one line-limit setting. Every way out (closing the main window, the quit command, a
/// logout, SIGTERM or SIGINT) asks the studio first and changes nothing when it refuses.
class TarnwickApp final : public QObject
{
    Q_OBJECT

public:
    explicit TarnwickApp(AppDelegate &delegate, QObject *parent = nullptr);
    ~TarnwickApp() override;

    /// Shows the main window, at 1320 × 760 unless a size was saved.
    void show();

    /// Ends the event loop; tests put their own here.
    std::function<void()> quit;

    /// From now on SIGTERM and SIGINT ask to quit as closing the main window does. Call once.
    void quitOnTerminationSignals();

    StudioView &mainWindow() { return *m_mainWindow; }
    StudioSettingsView &settingsWindow() { return *m_settingsWindow; }

private:
    void requestQuit();

    AppDelegate &m_delegate;
    std::unique_ptr<ViewSettings> m_settings;
    std::unique_ptr<StudioView> m_mainWindow;
    std::unique_ptr<StudioSettingsView> m_settingsWindow;
    QSocketNotifier *m_signals = nullptr;
    QTranslator *m_qtTranslator = nullptr;
};

} // namespace tarnwick
