// The window's own wiring. The studio's rules are tested below it; the road of one take with
// real sound is StudioWindowSoundTest.
#include "ui/WindowFixture.h"

#include <QSignalSpy>

using namespace Qt::StringLiterals;
using namespace tarnwick;
using namespace tarnwick::testing;

using StudioViewTest = WindowFixture;

TEST_F(StudioViewTest, ClosingIsRefusedWhileTheTakeCannotBeSavedThenCloses)
{
    studioWith({spokenBlock(u"a"_s, u"1"_s, u"Один"_s, u"One"_s)});
    showWindow();
    QTest::mouseClick(widget(u"record"_s), Qt::LeftButton);
    ASSERT_TRUE(waitFor([this] { return m_studio->recording(); }));
    QSignalSpy closed(m_view.get(), &StudioView::closed);
    EXPECT_FALSE(m_view->close()); // no audio was written, so the save fails
    EXPECT_TRUE(m_view->isVisible());
    m_studio->cancelRecording();
    EXPECT_TRUE(m_view->close());
    EXPECT_EQ(closed.count(), 1);
}
