// tarnwick: the window. One studio, made before any window and kept until the program ends.

#include "app/AppDelegate.h"
#include "app/TarnwickApp.h"

#include <QApplication>

using namespace Qt::StringLiterals;

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(u"Tarnwick"_s);
    QApplication::setApplicationName(u"Tarnwick"_s);
    QApplication::setDesktopFileName(u"tarnwick"_s);

    tarnwick::AppDelegate delegate;
    tarnwick::TarnwickApp app(delegate);
    app.quitOnTerminationSignals();
    app.show();
    return QApplication::exec();
}
