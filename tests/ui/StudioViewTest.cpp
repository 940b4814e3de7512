// The window's own wiring. The studio's rules are tested below it; the road of one take with
// real sound is StudioWindowSoundTest.
#include "ui/StudioView.h"

#include "studio/StudioFixture.h"
#include "ui/ViewSettings.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

namespace {

class StudioViewTest : public StudioFixture
{
};

} // namespace

TEST_F(StudioViewTest, ClosingSavesTheRunningTakeOrStaysOpenWhenItCannot)
{
    studioWith({spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s)});
    MemoryDefaults viewDefaults(m_defaults);
    ViewSettings settings(viewDefaults);
    StudioView view(*m_studio, settings);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QTest::mouseClick(view.findChild<QPushButton *>(u"record"_s), Qt::LeftButton);
    ASSERT_TRUE(waitFor([this] { return m_studio->recording(); }));
    QSignalSpy closed(&view, &StudioView::closed);
    EXPECT_FALSE(view.close()); // no audio was written, so the save fails
    EXPECT_TRUE(view.isVisible());
    EXPECT_EQ(m_alert->shown.size(), 1);
    ASSERT_TRUE(m_studio->pendingTake());
    writeBytes(store().audioURL(*m_studio->pendingTake()), "RIFF"); // the retry on closing finds it
    EXPECT_TRUE(view.close());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(m_studio->takes().size(), 1);
}
