// The status bar's meter: where a level lands and in which colour, the peak's hold, and the
// clip light in the window. The clip latch itself is the audio controller's.
#include "ui/LevelBar.h"
#include "ui/WindowFixture.h"

#include <QLabel>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

TEST(LevelBarTest, TheBarEndsAtItsLevelInTheColourOfItsZone)
{
    using Zone = LevelBar::Zone;
    LevelBar bar;
    bar.setActive(true);
    for (const auto &[power, zone] : {std::pair{-30.f, Zone::green}, {-8.f, Zone::yellow}, {-1.f, Zone::red}}) {
        SCOPED_TRACE(power);
        bar.setReading({power, power});
        QTest::qWait(100); // the glide to the new level
        const QImage image = bar.grab().toImage();
        const QPoint end(qRound(bar.track().left() + bar.track().width() * LevelBar::fraction(power)),
                         qRound(bar.track().center().y()));
        EXPECT_EQ(image.pixelColor(end - QPoint(3, 0)), LevelBar::colour(zone));
        EXPECT_NE(image.pixelColor(end + QPoint(3, 0)), LevelBar::colour(zone)); // not past its level
    }
}

TEST(LevelBarTest, ThePeakHoldsForOneAndAHalfSecondsOfTicksUnlessTopped)
{
    LevelBar bar;
    bar.setActive(true);
    for (int i = 0; i < LevelBar::peakHoldReadings; ++i)
        bar.setReading({-40.0f, i == 0 ? -6.0f : -30.0f});
    EXPECT_EQ(bar.heldPeak(), -6.0f);
    bar.setReading({-40.0f, -30.0f});
    EXPECT_EQ(bar.heldPeak(), -30.0f) << "held past 1.5 s";
    bar.setReading({-40.0f, -20.0f});
    EXPECT_EQ(bar.heldPeak(), -20.0f) << "a higher peak waits for no hold";
}

using LevelBarWindowTest = WindowFixture;

TEST_F(LevelBarWindowTest, TheClipWarningOutlivesTheTakeUntilTheLightIsClicked)
{
    studioWith({spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s)});
    showWindow();
    QTest::mouseClick(widget(u"record"_s), Qt::LeftButton);
    ASSERT_TRUE(waitFor([this] { return m_studio->recording(); }));
    m_audio->readings.push_back({-10.0f, 0.0f});
    m_audio->timer->tick();
    settle();
    m_studio->cancelRecording();
    settle();
    auto *meter = widget<LevelBar>(u"liveLevel"_s);
    auto *warning = widget<QLabel>(u"clipping"_s);
    EXPECT_TRUE(meter->isVisible() && meter->clipped() && warning->isVisible());
    QTest::mouseClick(meter, Qt::LeftButton, {}, meter->clipLight().center().toPoint());
    settle();
    EXPECT_FALSE(warning->isVisible() || meter->isVisible());
}
