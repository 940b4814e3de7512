// tarnwick: the window. One studio, made before any window and kept until the program ends.

#include "app/AppDelegate.h"
#include "app/TarnwickApp.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

int main(int argc, char **argv)
{
    // Answered before Qt looks for a display, so it works from any terminal.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("tarnwick " TARNWICK_VERSION);
        return 0;
    }
    // A request to end that comes while the studio starts waits until it can be answered.
    sigset_t termination;
    sigemptyset(&termination);
    sigaddset(&termination, SIGTERM);
    sigaddset(&termination, SIGINT);
    pthread_sigmask(SIG_BLOCK, &termination, nullptr);

    QApplication application(argc, argv);
    QApplication::setOrganizationName(u"Tarnwick"_s);
    QApplication::setApplicationName(u"Tarnwick"_s);
    QApplication::setDesktopFileName(u"org.tarnwick.tarnwick"_s);

    tarnwick::AppDelegate delegate;
    tarnwick::TarnwickApp app(delegate);
    app.quitOnTerminationSignals();
    app.show();
    return QApplication::exec();
}
