#include "platform/linux/QtTrayIcon.h"
#include "platform/linux/QtTestApp.h"

#include <QAction>
#include <QMenu>

#include <gtest/gtest.h>

#include <vector>

namespace quoddle {
namespace {

class QtTrayIconTest : public test::WithQtApplication, public ::testing::Test {};

// The menu's entries reach their actions; Pause and Resume take turns, and say which one is next.
TEST_F(QtTrayIconTest, TheMenuOpensTheSettingsPausesAndQuits) {
    int settings = 0, quits = 0;
    std::vector<bool> pauses;
    QtTrayIcon tray({[&] { ++settings; }, [&](bool paused) { pauses.push_back(paused); }, [&] { ++quits; }});
    EXPECT_FALSE(tray.isVisible()) << "no icon until it is asked for";
    QStringList entries;
    for (QAction* action : tray.menu().actions())
        if (!action->isSeparator()) entries << action->text();
    EXPECT_EQ(entries, (QStringList{"Settings\u2026", "Pause", "Quit Quoddle"}));

    tray.pauseAction().trigger();
    EXPECT_TRUE(tray.paused());
    EXPECT_EQ(tray.pauseAction().text(), QStringLiteral("Resume"));
    tray.pauseAction().trigger();
    EXPECT_EQ(tray.pauseAction().text(), QStringLiteral("Pause"));
    tray.settingsAction().trigger();
    tray.quitAction().trigger();
    EXPECT_EQ(pauses, (std::vector<bool>{true, false}));
    EXPECT_EQ(settings, 1);
    EXPECT_EQ(quits, 1);
}

} // namespace
} // namespace quoddle
