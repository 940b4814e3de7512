#include "app/TarnwickApp.h"

#include "app/AppDelegate.h"
#include "ui/StudioSettingsView.h"
#include "ui/StudioView.h"
#include "ui/ViewSettings.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTranslator>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tarnwick {

namespace {

// A signal handler may only write to a descriptor; the event loop reads the other end. POSIX
// signals are process-wide, so this pair is too.
int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}

/// Qt's own dialogs speak the interface's language, Russian, whatever the system locale.
QTranslator *installQtTranslations(QObject *owner)
{
    auto *translator = new QTranslator(owner);
    if (translator->load(u"qtbase_ru"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    return translator;
}

} // namespace

TarnwickApp::TarnwickApp(AppDelegate &delegate, QObject *parent)
    : QObject(parent)
    , quit([] { QCoreApplication::quit(); })
    , m_delegate(delegate)
    , m_settings(std::make_unique<ViewSettings>(delegate.viewDefaults()))
    , m_qtTranslator(installQtTranslations(this))
{
    // The windows are made after the translations, so their standard texts come out in Russian.
    m_mainWindow = std::make_unique<StudioView>(delegate.studio(), *m_settings);
    m_settingsWindow = std::make_unique<StudioSettingsView>(delegate.studio(), *m_settings);
    QApplication::setWindowIcon(QIcon::fromTheme(u"tarnwick"_s));
    m_delegate.attachWindow(m_mainWindow.get());

    connect(m_mainWindow.get(), &StudioView::settingsRequested, m_settingsWindow.get(), [this] {
        m_settingsWindow->show();
        m_settingsWindow->raise();
        m_settingsWindow->activateWindow();
    });
    // The main window's close asks the studio; only a close it agreed to ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    connect(m_mainWindow.get(), &StudioView::closed, this, [this] {
        m_settingsWindow->close();
        if (AppDelegate::shouldTerminateAfterLastWindowClosed())
            quit();
    });
    // A logout asks too: a take that cannot be saved cancels it.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &session) {
        if (!m_delegate.shouldTerminate())
            session.cancel();
    });
}

TarnwickApp::~TarnwickApp()
{
    if (m_signals) {
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGINT, SIG_DFL);
        ::close(signalPipe[0]);
        ::close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
    }
}

void TarnwickApp::show()
{
    m_mainWindow->show();
}

void TarnwickApp::quitOnTerminationSignals()
{
    if (m_signals || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    m_signals = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(m_signals, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(signalPipe[1], &byte, 1);
        requestQuit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigset_t termination;
    sigemptyset(&termination);
    sigaddset(&termination, SIGTERM);
    sigaddset(&termination, SIGINT);
    pthread_sigmask(SIG_UNBLOCK, &termination, nullptr); // held back by main() until now
}

void TarnwickApp::requestQuit()
{
    // The same path as the window's close button: a refused quit leaves everything as it was.
    if (m_mainWindow->isVisible())
        m_mainWindow->close();
    else if (m_delegate.shouldTerminate())
        quit();
}

} // namespace tarnwick
