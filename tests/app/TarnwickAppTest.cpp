#include "app/AppDelegate.h"
#include "app/TarnwickApp.h"

#include "studio/StudioFixture.h"
#include "ui/StudioSettingsView.h"
#include "ui/StudioView.h"

#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

/// The program's shell over a studio with fake sound and services. The windows' settings live
/// beside the studio's, as they share one settings file in the program.
class TarnwickAppTest : public StudioFixture
{
protected:
    QHash<QString, QString> m_viewValues;
    std::unique_ptr<AppDelegate> m_delegate;
    std::unique_ptr<TarnwickApp> m_app;
    int m_quits = 0;

    TarnwickApp &start(const QList<ScriptBlock> &blocks)
    {
        studioWith(blocks);
        return restart();
    }
    /// A new shell on the same studio and settings, as after restarting the program.
    TarnwickApp &restart()
    {
        m_app.reset();
        if (!m_delegate)
            m_delegate = std::make_unique<AppDelegate>(std::move(m_studio), std::make_unique<MemoryDefaults>(m_viewValues));
        m_app = std::make_unique<TarnwickApp>(*m_delegate);
        m_app->quit = [this] { ++m_quits; };
        m_app->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&m_app->mainWindow()));
        return *m_app;
    }
    void TearDown() override
    {
        m_app.reset();
        m_delegate.reset();
    }
    Studio &studio() { return m_delegate->studio(); }
    void record()
    {
        studio().record(studio().blocks().constFirst());
        ASSERT_TRUE(waitFor([this] { return studio().recording(); })) << studio().message().toStdString();
    }
    /// Sound for the pending take, so that its save, or a retry of it, succeeds.
    void writeTakeAudio()
    {
        writeBytes(studio().store()->audioURL(*studio().pendingTake()), QByteArray("RIFF\0\0\0\0WAVE", 12));
    }
    /// Delivers a signal to this process, as `kill` from outside would, and lets the loop see it.
    static void deliver(int signal)
    {
        ::raise(signal);
        QTest::qWait(50);
    }
};

TEST_F(TarnwickAppTest, TheMainWindowOpensAtItsDefaultSizeThenAtTheSavedOne)
{
    TarnwickApp &app = start({sampleBlock(u"a"_s)});
    EXPECT_EQ(app.mainWindow().windowTitle(), u"Tarnwick"_s);
    EXPECT_EQ(app.mainWindow().size(), QSize(1320, 760));
    app.mainWindow().resize(1400, 800);
    ASSERT_TRUE(app.mainWindow().close());
    EXPECT_EQ(m_quits, 1);

    EXPECT_EQ(restart().mainWindow().size(), QSize(1400, 800));
}

TEST_F(TarnwickAppTest, ALineLimitChosenInSettingsReachesTheMainWindowAndSurvivesARestart)
{
    TarnwickApp &app = start({sampleBlock(u"a"_s)});
    emit app.mainWindow().settingsRequested();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&app.settingsWindow()));
    QList<QRadioButton *> choices = app.settingsWindow().findChildren<QRadioButton *>();
    const auto three = std::find_if(choices.begin(), choices.end(),
                                    [](QRadioButton *each) { return each->text().contains(u"3"_s); });
    ASSERT_NE(three, choices.end());
    QTest::mouseClick(*three, Qt::LeftButton, {}, QPoint(8, (*three)->height() / 2));
    EXPECT_EQ(m_viewValues.value(u"scriptTextLineLimit"_s), u"3"_s);

    // Closing the main window takes the settings window with it.
    ASSERT_TRUE(app.mainWindow().close());
    EXPECT_FALSE(app.settingsWindow().isVisible());
    restart();
    choices = m_app->settingsWindow().findChildren<QRadioButton *>();
    const auto checked = std::find_if(choices.begin(), choices.end(), [](QRadioButton *each) { return each->isChecked(); });
    ASSERT_NE(checked, choices.end());
    EXPECT_TRUE((*checked)->text().contains(u"3"_s));
}

TEST_F(TarnwickAppTest, AQuitTheStudioRefusesLeavesTheProgramRunningAsItWas)
{
    TarnwickApp &app = start({sampleBlock(u"a"_s)});
    record(); // no audio is written, so the take cannot be saved
    EXPECT_FALSE(app.mainWindow().close());
    EXPECT_TRUE(app.mainWindow().isVisible());
    EXPECT_EQ(m_quits, 0);
    EXPECT_TRUE(studio().pendingTake());
    EXPECT_EQ(m_alert->shown.size(), 1);

    // Once the take can be saved, the next request quits and the take is kept.
    writeTakeAudio();
    EXPECT_TRUE(app.mainWindow().close());
    EXPECT_EQ(m_quits, 1);
    EXPECT_EQ(studio().store()->load().takes.size(), 1);
}

TEST_F(TarnwickAppTest, TerminationSignalsSaveTheTakeAndQuitUnlessTheStudioRefuses)
{
    TarnwickApp &app = start({sampleBlock(u"a"_s)});
    app.quitOnTerminationSignals();
    record();
    deliver(SIGTERM); // the take cannot be saved yet: the program stays
    EXPECT_EQ(m_quits, 0);
    EXPECT_TRUE(app.mainWindow().isVisible());
    EXPECT_TRUE(studio().pendingTake());

    writeTakeAudio();
    deliver(SIGINT);
    EXPECT_EQ(m_quits, 1);
    EXPECT_FALSE(app.mainWindow().isVisible());
    EXPECT_FALSE(studio().pendingTake());
    EXPECT_EQ(studio().store()->load().takes.size(), 1);
}

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
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QString::fromUtf8(TARNWICK_APP_PATH), {});
    ASSERT_TRUE(program.waitForStarted());

    const QString projects = home.filePath(u"data/Projects"_s);
    QStringList made;
    for (int waited = 0; waited < 100 && made.isEmpty(); ++waited) {
        QTest::qWait(100);
        made = QDir(projects).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    }
    ASSERT_EQ(made.size(), 1) << program.readAllStandardError().toStdString();
    QTest::qWait(300); // the window is up
    ASSERT_EQ(program.state(), QProcess::Running) << program.readAllStandardError().toStdString();

    program.terminate();
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();

    // The project was let go: the command line can open it.
    QProcess check;
    check.setProcessEnvironment(environment);
    check.start(QString::fromUtf8(TARNWICK_CLI_PATH), {u"check"_s, projects + u'/' + made.constFirst()});
    ASSERT_TRUE(check.waitForFinished(10000));
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardError().toStdString();
    // It left as a closed window does, remembering its size.
    EXPECT_TRUE(readBytes(home.filePath(u"config/Tarnwick/Tarnwick.ini"_s)).contains("windowGeometry"));
}

} // namespace
