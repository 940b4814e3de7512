#include "ui/LevelBar.h"
#include "ui/RecordingStrip.h"
#include "ui/RecordingWaveform.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tarnwick;

// --- elapsed time: truncated seconds, minutes never split into hours --------------------

TEST(RecordingStripTest, ElapsedTimeTruncatesAndKeepsCountingMinutes)
{
    const std::pair<double, QString> cases[] = {
        {0.0, u"0:00"_s}, {59.99, u"0:59"_s}, {75.9, u"1:15"_s}, {600.0, u"10:00"_s}, {3600.0, u"60:00"_s},
        {-1.0, u"0:00"_s}};
    for (const auto &[seconds, text] : cases) {
        SCOPED_TRACE(seconds);
        EXPECT_EQ(RecordingStrip::elapsed(seconds), text);
    }
}

// --- waveform bars: newest 52, floors of width and height --------------------------------

TEST(RecordingWaveformTest, OnlyTheNewest52LevelsBecomeBars)
{
    QList<float> history(60, 0.1f);
    history[8] = 1.0f; // the first of the newest 52
    const QList<QRectF> bars = RecordingWaveform::bars(history, QSizeF(400, 22));
    ASSERT_EQ(bars.size(), 52);
    EXPECT_DOUBLE_EQ(bars.first().height(), 22.0);
    EXPECT_DOUBLE_EQ(bars.first().top(), 0.0);
    EXPECT_TRUE(RecordingWaveform::bars({}, QSizeF(400, 22)).isEmpty());
}

TEST(RecordingWaveformTest, QuietLevelsAndNarrowWidthsKeepVisibleBars)
{
    const QList<QRectF> quiet = RecordingWaveform::bars(QList<float>(52, 0.03f), QSizeF(400, 22));
    for (const QRectF &bar : quiet) {
        EXPECT_DOUBLE_EQ(bar.height(), 3.0);
        EXPECT_DOUBLE_EQ(bar.center().y(), 11.0); // centred in the row
    }
    EXPECT_DOUBLE_EQ(quiet.at(1).left() - quiet.at(0).right(), 2.0);

    const QList<QRectF> narrow = RecordingWaveform::bars(QList<float>(52, 0.5f), QSizeF(100, 22));
    for (const QRectF &bar : narrow)
        EXPECT_DOUBLE_EQ(bar.width(), 1.5);
    // 52 bars in 400: (400 - 2·51) / 52 each.
    EXPECT_DOUBLE_EQ(quiet.first().width(), (400.0 - 102.0) / 52.0);
}

// --- the level bar's fill --------------------------------------------------------------

TEST(LevelBarTest, FillFollowsTheLevelAboveACapsuleMinimum)
{
    EXPECT_NEAR(LevelBar::fillWidth(0.1f, 180), 18.0, 1e-4);
    EXPECT_DOUBLE_EQ(LevelBar::fillWidth(0.03f, 180), 8.0);
    EXPECT_DOUBLE_EQ(LevelBar::fillWidth(0.0f, 180), 8.0);
    EXPECT_DOUBLE_EQ(LevelBar::fillWidth(1.0f, 180), 180.0);
}
