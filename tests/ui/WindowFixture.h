#pragma once

#include "studio/StudioFixture.h"
#include "ui/StudioView.h"
#include "ui/ViewSettings.h"

#include <QPushButton>
#include <QTableView>
#include <QTest>

namespace tarnwick::testing {

/// The studio's fixture with its window, shown on the offscreen platform.
class WindowFixture : public StudioFixture
{
protected:
    std::unique_ptr<MemoryDefaults> m_viewDefaults;
    std::unique_ptr<ViewSettings> m_settings;
    std::unique_ptr<StudioView> m_view;

    void showWindow()
    {
        m_view.reset();
        m_viewDefaults = std::make_unique<MemoryDefaults>(m_defaults);
        m_settings = std::make_unique<ViewSettings>(*m_viewDefaults);
        m_view = std::make_unique<StudioView>(*m_studio, *m_settings);
        m_view->show();
        m_view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_view.get()));
        settle();
    }
    static void settle() { QCoreApplication::processEvents(); QCoreApplication::processEvents(); }
    template<typename T = QPushButton>
    T *widget(const QString &name) const { return m_view->findChild<T *>(name); }
    QTableView *table() const { return m_view->table(); }
};

} // namespace tarnwick::testing
