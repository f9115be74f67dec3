#include "SimFixture.h"

#include <functional>
#include <map>

namespace quoddle {
namespace {

using TitleSet = std::unordered_map<std::string, std::string>;

class ServicesMenu : public SimFixture {
protected:
    // A running application whose standard menu bar has a Services menu with these items.
    ProcessId launchWithServices(const std::string& name, const std::vector<std::string>& services,
                                 const std::string& servicesTitle = "Services") {
        ProcessId pid = launchWithoutMenuBar(name);
        bars[pid] = ax.addStandardMenuBar(pid, services, servicesTitle);
        return pid;
    }
    ProcessId launchWithoutMenuBar(const std::string& name) {
        ProcessId pid = desktop.workspace.launch(name, "com.example." + name).processIdentifier;
        ax.addApplication(pid, name);
        return pid;
    }
    void discoverIn(ProcessId pid) {
        controller().serviceTargetAppPid = pid;
        controller().getAllServiceMenuItemTitle();
    }
    void clickIn(ProcessId pid, const std::string& title) {
        controller().serviceTargetAppPid = pid;
        controller().clickServiceMenuItem(title);
    }
    void activateFinder() {
        RunningApplication finder = desktop.workspace.launch("Finder", "com.apple.finder");
        controller().didActivateApplicationNotification(Notification{
            NSWorkspaceDidActivateApplicationNotification, nullptr, {{NSWorkspaceApplicationKey, finder}}});
    }
    std::int32_t uses(const std::string& application, const std::string& title) {
        const ApplicationHistory* table = controller().menuItemHistoryDic.find(application);
        const HistoryItem* item = table ? table->find(title) : nullptr;
        return item ? item->count : 0;
    }
    std::vector<std::string> pressedTitles() {
        std::vector<std::string> titles;
        for (const auto& pressed : ax.performedActions()) {
            auto title = ax.copyAttributeValue(pressed.element, "AXTitle");
            titles.push_back(pressed.action + " " + *title.value.get<std::string>());
        }
        return titles;
    }

    SimAccessibility& ax = desktop.accessibility;
    std::map<ProcessId, SimMenuBar> bars;
};

TEST_F(ServicesMenu, DiscoveryLearnsTheTitleOfEveryDirectChildOfTheServicesMenu) {
    ProcessId textEdit = launchWithServices("TextEdit", {"Make Sticky", "", "Search With Google", "Look Up"});
    SimMenuBar& bar = bars[textEdit];
    ax.addMenu(bar.services[2], {"Inside A Submenu"});
    // Items without a title, with a title that is no text, and with a title that cannot be read.
    ax.add(bar.servicesMenu, {.role = "AXMenuItem"});
    ax.add(bar.servicesMenu, {.role = "AXMenuItem", .attributes = {{"AXTitle", std::int64_t{5}}}});
    ax.failAttribute(bar.services[3], "AXTitle", kAXErrorCannotComplete);

    discoverIn(textEdit);
    EXPECT_EQ(controller().allServiceNameDic,
              (TitleSet{{"Make Sticky", "1"}, {"", "1"}, {"Search With Google", "1"}}));
}

TEST_F(ServicesMenu, DiscoveryKeepsHostileTitlesExactlyAsTheMenuReportsThem) {
    const std::string huge(1 << 20, 's');
    const std::string odd = "Tab\there\r\nbreak \xff\xfe invalid";
    ProcessId app = launchWithServices("Hostile", {huge, odd});
    discoverIn(app);
    EXPECT_EQ(controller().allServiceNameDic, (TitleSet{{huge, "1"}, {odd, "1"}}));

    clickIn(app, odd);
    EXPECT_EQ(ax.performedActions().size(), 1u);
    EXPECT_EQ(uses("Hostile", odd), 1);
}

TEST_F(ServicesMenu, DiscoveryDoesNothingWhileAnyTitleIsKnown) {
    ProcessId textEdit = launchWithServices("TextEdit", {"Make Sticky"});
    controller().allServiceNameDic = {{"Old Service", "1"}};
    ax.clearRecords();
    discoverIn(textEdit);
    EXPECT_EQ(controller().allServiceNameDic, (TitleSet{{"Old Service", "1"}}));
    EXPECT_EQ(ax.callCount(), 0);
}

TEST_F(ServicesMenu, DiscoveryWithUnreadableServicesChildrenLeavesTheSetEmpty) {
    ProcessId textEdit = launchWithServices("TextEdit", {"Make Sticky"});
    controller().prevAllServiceNameDic = {{"Earlier", "1"}};
    ax.failAttribute(bars[textEdit].servicesMenu, "AXChildren", kAXErrorCannotComplete);
    discoverIn(textEdit);
    EXPECT_TRUE(controller().allServiceNameDic.empty());
}

// Every way the walk to a Services menu can break: discovery falls back on the saved titles and
// invocation beeps without pressing or recording anything.
TEST_F(ServicesMenu, EveryMissingStepRestoresTheSavedTitlesOrBeeps) {
    const std::vector<std::pair<std::string, std::function<void(ProcessId)>>> breakages{
        {"no accessibility tree", [&](ProcessId pid) { ax.quitApplication(pid); }},
        {"no menu bar", [&](ProcessId pid) { ax.remove(bars[pid].menuBar); }},
        {"only the system menu",
         [&](ProcessId pid) {
             auto items = ax.children(bars[pid].menuBar);
             for (std::size_t i = 1; i < items.size(); ++i)
                 ax.remove(items[i]);
         }},
        {"no application menu", [&](ProcessId pid) { ax.remove(bars[pid].applicationMenu); }},
        {"no Services item", [&](ProcessId pid) { ax.remove(bars[pid].servicesItem); }},
        {"renamed Services item",
         [&](ProcessId pid) { ax.setAttribute(bars[pid].servicesItem, "AXTitle", "Extras"); }},
        {"no Services menu", [&](ProcessId pid) { ax.remove(bars[pid].servicesMenu); }},
        {"menu bar children unreadable",
         [&](ProcessId pid) { ax.failAttribute(bars[pid].menuBar, "AXChildren", kAXErrorCannotComplete); }},
    };
    for (const auto& [name, breakIt] : breakages) {
        SCOPED_TRACE(name);
        ProcessId textEdit = launchWithServices("TextEdit", {"Make Sticky", "Search With Google"});
        discoverIn(textEdit);
        ASSERT_EQ(controller().allServiceNameDic.size(), 2u);
        activateFinder();
        ASSERT_TRUE(controller().allServiceNameDic.empty());

        breakIt(textEdit);
        ProcessId other = launchWithServices("Other", {"Unrelated"});
        controller().prevAllServiceNameDic["Kept Aside"] = "1";
        discoverIn(textEdit);
        EXPECT_EQ(controller().allServiceNameDic,
                  (TitleSet{{"Make Sticky", "1"}, {"Search With Google", "1"}, {"Kept Aside", "1"}}));
        discoverIn(other); // a known set is not refreshed
        EXPECT_EQ(controller().allServiceNameDic.size(), 3u);

        const int beeps = desktop.appServices.beepCount;
        ax.clearRecords();
        clickIn(textEdit, "Make Sticky");
        EXPECT_EQ(desktop.appServices.beepCount, beeps + 1);
        EXPECT_TRUE(ax.performedActions().empty());
        EXPECT_EQ(uses("TextEdit", "Make Sticky"), 0);

        controller().allServiceNameDic.clear();
        controller().prevAllServiceNameDic.clear();
    }
}

TEST_F(ServicesMenu, InvocationPressesTheItemOfThatTitleAndRecordsItsUse) {
    ProcessId textEdit =
        launchWithServices("TextEdit", {"Make Sticky", "Search With Google", "Search With Google"});
    discoverIn(textEdit);
    clickIn(textEdit, "Search With Google");
    ASSERT_EQ(ax.performedActions().size(), 1u);
    EXPECT_EQ(ax.performedActions()[0].element, bars[textEdit].services[1]);
    EXPECT_EQ(ax.performedActions()[0].action, "AXPress");
    EXPECT_EQ(uses("TextEdit", "Search With Google"), 1);
    EXPECT_EQ(uses("*", "Search With Google"), 1);
    EXPECT_EQ(desktop.appServices.beepCount, 0);
}

TEST_F(ServicesMenu, InvocationOfAVanishedTitleBeepsAndRecordsNothing) {
    ProcessId textEdit = launchWithServices("TextEdit", {"Make Sticky", "Search With Google"});
    discoverIn(textEdit);
    ax.remove(bars[textEdit].services[0]);
    clickIn(textEdit, "Make Sticky");
    EXPECT_EQ(desktop.appServices.beepCount, 1);
    EXPECT_TRUE(ax.performedActions().empty());
    EXPECT_EQ(uses("TextEdit", "Make Sticky"), 0);
}

TEST_F(ServicesMenu, InvocationRecordsOnlyTitlesOfTheKnownSetButPressesAnyway) {
    ProcessId textEdit = launchWithServices("TextEdit", {"Make Sticky"});
    ProcessId safari = launchWithServices("Safari", {"Make Sticky", "Add to Reading List"});
    discoverIn(textEdit);

    clickIn(safari, "Add to Reading List");
    EXPECT_EQ(pressedTitles(), std::vector<std::string>{"AXPress Add to Reading List"});
    EXPECT_EQ(uses("Safari", "Add to Reading List"), 0);

    activateFinder();
    discoverIn(safari);
    clickIn(safari, "Add to Reading List");
    EXPECT_EQ(uses("Safari", "Add to Reading List"), 1);
}

TEST_F(ServicesMenu, AnIgnoredPressStillCounts) {
    ProcessId textEdit = launchWithServices("TextEdit", {"Make Sticky"});
    ax.add(bars[textEdit].servicesMenu, {.role = "AXMenuItem", .title = "Stubborn"}); // has no press action
    discoverIn(textEdit);
    clickIn(textEdit, "Stubborn");
    EXPECT_TRUE(ax.performedActions().empty());
    EXPECT_EQ(desktop.appServices.beepCount, 0);
    EXPECT_EQ(uses("TextEdit", "Stubborn"), 1);
}

TEST_F(ServicesMenu, EachWalkTakesFreshElementsSoARebuiltMenuIsFound) {
    ProcessId textEdit = launchWithServices("TextEdit", {"Make Sticky"});
    discoverIn(textEdit);
    ax.remove(bars[textEdit].servicesMenu);
    AXUIElementRef rebuilt = ax.addMenu(bars[textEdit].servicesItem, {"Make Sticky"});
    clickIn(textEdit, "Make Sticky");
    ASSERT_EQ(ax.performedActions().size(), 1u);
    EXPECT_EQ(ax.performedActions()[0].element, ax.children(rebuilt)[0]);
    EXPECT_EQ(uses("TextEdit", "Make Sticky"), 1);
}

TEST_F(ServicesMenu, LocalizedTitleServesDiscoveryAndTheLiteralOneOnlyInvocation) {
    desktop.appServices.localizations["Services"] = "Dienste";
    ProcessId german = launchWithServices("Vorschau", {"Notiz erstellen"}, "Dienste");
    ProcessId english = launchWithServices("TextEdit", {"Make Sticky"});

    discoverIn(english);
    EXPECT_TRUE(controller().allServiceNameDic.empty()) << "discovery does not try the literal title";
    discoverIn(german);
    EXPECT_EQ(controller().allServiceNameDic, (TitleSet{{"Notiz erstellen", "1"}}));

    clickIn(english, "Make Sticky");
    clickIn(german, "Notiz erstellen");
    EXPECT_EQ(pressedTitles(), (std::vector<std::string>{"AXPress Make Sticky", "AXPress Notiz erstellen"}));
    EXPECT_EQ(uses("Vorschau", "Notiz erstellen"), 1);
}

TEST_F(ServicesMenu, ThePreferredTitleFindsAServicesMenuWithAnUnusualName) {
    ProcessId odd = launchWithServices("Odd", {"Make Sticky"}, "Helpers");
    controller().userDefaults.setObject(kServiceMenuItemTitle, "Helpers");
    discoverIn(odd);
    EXPECT_EQ(controller().allServiceNameDic, (TitleSet{{"Make Sticky", "1"}}));
    clickIn(odd, "Make Sticky");
    EXPECT_EQ(uses("Odd", "Make Sticky"), 1);

    // A preference that holds no text adds no candidate.
    controller().userDefaults.setObject(kServiceMenuItemTitle, PlistDictionary{{"Helpers", "Helpers"}});
    clickIn(odd, "Make Sticky");
    EXPECT_EQ(desktop.appServices.beepCount, 1);
    EXPECT_EQ(uses("Odd", "Make Sticky"), 1);
}

TEST_F(ServicesMenu, NoTargetOrAnApplicationWithoutMenuBarBeeps) {
    ProcessId bare = launchWithoutMenuBar("Bare");
    clickIn(-1, "Make Sticky");
    clickIn(bare, "Make Sticky");
    EXPECT_EQ(desktop.appServices.beepCount, 2);
    discoverIn(bare);
    EXPECT_TRUE(controller().allServiceNameDic.empty());
}

} // namespace
} // namespace quoddle
