#include "support/TestSupport.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace tarnwick::testing;

namespace {

// The real program on the offscreen platform: it makes its start project and leaves cleanly on
// SIGTERM, releasing the project for the next process.
TEST(TarnwickProgramTest, StartsOnAFreshDataFolderAndEndsOnSigterm)
{
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    environment.insert(u"TARNWICK_DATA_DIR"_s, home.filePath(u"data"_s));
    environment.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s)); // the settings file
    environment.insert(u"PULSE_SERVER"_s, home.filePath(u"no-sound-server"_s));
    const std::unique_ptr<QProcess> started = startProgram(QString::fromUtf8(TARNWICK_APP_PATH), {}, environment);
    QProcess &program = *started;
    ASSERT_TRUE(program.waitForStarted());

    const QString projects = home.filePath(u"data/Projects"_s);
    const auto made = [&] { return QDir(projects).entryList(QDir::Dirs | QDir::NoDotAndDotDot); };
    ASSERT_TRUE(waitFor([&] { return !made().isEmpty(); }, 10000))
        << program.readAllStandardError().toStdString();
    ASSERT_EQ(made().size(), 1);
    ASSERT_EQ(program.state(), QProcess::Running) << program.readAllStandardError().toStdString();

    program.terminate();
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();

    // The project was let go: the command line can open it.
    const ProgramResult check = runProgram(QString::fromUtf8(TARNWICK_CLI_PATH), {u"check"_s, projects + u'/' + made().constFirst()},
                                 environment);
    EXPECT_EQ(check.exitCode, 0) << check.err.toStdString();
    // It left as a closed window does, remembering its size.
    EXPECT_TRUE(readBytes(home.filePath(u"config/Tarnwick/Tarnwick.ini"_s)).contains("windowGeometry"));
}

} // namespace
