#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

// The window's tests need a QApplication, and no display: the offscreen platform draws in memory.
int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    const QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
