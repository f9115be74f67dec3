#include "SimFixture.h"

namespace quoddle {
namespace {

class MenuItemHistory : public SimFixture {
protected:
    void SetUp() override {
        textEdit = desktop.workspace.launch("TextEdit", "com.apple.TextEdit");
        safari = desktop.workspace.launch("Safari", "com.apple.Safari");
        controller().allServiceNameDic = {{"Make Sticky", "1"}, {"Search With Google", "1"}};
    }
    const HistoryItem* find(const std::string& app, const std::string& title) {
        const ApplicationHistory* table = controller().menuItemHistoryDic.find(app);
        return table ? table->find(title) : nullptr;
    }
    RunningApplication textEdit, safari;
};

TEST_F(MenuItemHistory, UsesAreRecordedUnderTheApplicationAndUnderAllApplications) {
    TimePoint first = desktop.clock.now();
    controller().addMenuItemHistoryWithTitle("Make Sticky", textEdit.processIdentifier);
    ASSERT_NE(find("TextEdit", "Make Sticky"), nullptr);
    EXPECT_EQ(find("TextEdit", "Make Sticky")->count, 1);
    EXPECT_EQ(find("TextEdit", "Make Sticky")->date, first);
    EXPECT_EQ(find("*", "Make Sticky")->count, 1);

    desktop.clock.advance(std::chrono::seconds(30));
    controller().addMenuItemHistoryWithTitle("Make Sticky", textEdit.processIdentifier);
    EXPECT_EQ(find("TextEdit", "Make Sticky")->count, 2);
    EXPECT_EQ(find("*", "Make Sticky")->date, desktop.clock.now());

    controller().addMenuItemHistoryWithTitle("Make Sticky", safari.processIdentifier);
    EXPECT_EQ(find("Safari", "Make Sticky")->count, 1);
    EXPECT_EQ(find("*", "Make Sticky")->count, 3);
    EXPECT_FALSE(find("TextEdit", "Make Sticky")->userTitle);
}

TEST_F(MenuItemHistory, NothingIsRecordedWithoutAKnownTitleOrANamedRunningProcess) {
    controller().addMenuItemHistoryWithTitle("Open Recent", textEdit.processIdentifier);
    EXPECT_TRUE(controller().menuItemHistoryDic.empty()) << "not a Services item";

    desktop.workspace.quit(textEdit.processIdentifier);
    controller().addMenuItemHistoryWithTitle("Make Sticky", textEdit.processIdentifier);
    EXPECT_TRUE(controller().menuItemHistoryDic.empty()) << "the process has quit";

    RunningApplication nameless =
        desktop.workspace.launchUnnamedOrUnbundled(std::nullopt, "org.example.nameless");
    controller().addMenuItemHistoryWithTitle("Make Sticky", nameless.processIdentifier);
    EXPECT_TRUE(controller().menuItemHistoryDic.empty()) << "no name: not even under *";

    controller().allServiceNameDic.clear();
    controller().addMenuItemHistoryWithTitle("Make Sticky", safari.processIdentifier);
    EXPECT_TRUE(controller().menuItemHistoryDic.empty()) << "until the known titles are read again";
}

TEST_F(MenuItemHistory, ARecordedUseIsSavedShortlyAfterwardsAndAtTermination) {
    controller().addMenuItemHistoryWithTitle("Make Sticky", textEdit.processIdentifier);
    controller().addMenuItemHistoryWithTitle("Search With Google", safari.processIdentifier);
    EXPECT_EQ(desktop.defaultsStore.find(kMenuItemHistoryDic), nullptr);
    desktop.runLoop.advance(std::chrono::milliseconds(2100));
    ASSERT_NE(desktop.defaultsStore.find(kMenuItemHistoryDic), nullptr);
    EXPECT_EQ(desktop.defaultsStore.synchronizeCount, 1) << "two uses close together, one write";

    controller().addMenuItemHistoryWithTitle("Make Sticky", textEdit.processIdentifier);
    controller().applicationWillTerminate();
    EXPECT_EQ(desktop.defaultsStore.synchronizeCount, 2);
    desktop.runLoop.advance(std::chrono::seconds(5));
    EXPECT_EQ(desktop.defaultsStore.synchronizeCount, 2) << "the pending save went with the termination save";

    ServiceHistory saved = controller().menuItemHistoryDic;
    QuoddleAppDelegate& next = relaunch();
    next.loadMenuItemHistory();
    EXPECT_TRUE(next.menuItemHistoryDic == saved);
    EXPECT_EQ(next.menuItemHistoryDic.find("TextEdit")->find("Make Sticky")->count, 2);
}

TEST_F(MenuItemHistory, ABrokenStoredHistoryLoadsWhatIsSoundAndSaysWhatWasSkipped) {
    desktop.defaultsStore.set(
        kMenuItemHistoryDic,
        PlistDictionary{
            {"TextEdit",
             PlistDictionary{{"Good", PlistDictionary{{"Title", "Good"}, {"Count", 4}}}, {"Bad", 17}}}});
    controller().loadMenuItemHistory();
    EXPECT_EQ(controller().menuItemHistoryDic.find("TextEdit")->size(), 1u);
    ASSERT_EQ(desktop.appServices.logLines.size(), 1u);
    EXPECT_NE(desktop.appServices.logLines[0].find("Bad"), std::string::npos);
}

} // namespace
} // namespace quoddle
