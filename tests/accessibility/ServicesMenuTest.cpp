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
        ProcessId pid = desktop.workspace.launch(name, "com.example." + name).processIdentifier;
        ax.addApplication(pid, name);
        bars[pid] = ax.addStandardMenuBar(pid, services, servicesTitle);
        return pid;
    }
    // The controller, with its Services target set to this application.
    QuoddleAppDelegate& in(ProcessId pid) {
        controller().serviceTargetAppPid = pid;
        return controller();
    }
    std::int32_t uses(const std::string& application, const std::string& title) {
        const ApplicationHistory* table = controller().menuItemHistoryDic.find(application);
        const HistoryItem* item = table ? table->find(title) : nullptr;
        return item ? item->count : 0;
    }
    std::vector<AXUIElementRef> pressed() {
        std::vector<AXUIElementRef> elements;
        for (const auto& action : ax.performedActions())
            elements.push_back(action.element);
        return elements;
    }

    SimAccessibility& ax = desktop.accessibility;
    std::map<ProcessId, SimMenuBar> bars;
};

TEST_F(ServicesMenu, DiscoveryLearnsEveryReadableTitleOfTheDirectChildrenExactly) {
    const std::string hostile = "Tab\there\r\nbreak \xff\xfe invalid" + std::string(1 << 20, 's');
    ProcessId textEdit = launchWithServices("TextEdit", {"Make Sticky", "Look Up", "", hostile});
    SimMenuBar& bar = bars[textEdit];
    ax.addMenu(bar.services[3], {"Inside A Submenu"});
    // Items without a title, with a title that is no text, and with a title that cannot be read.
    ax.add(bar.servicesMenu, {.role = "AXMenuItem"});
    ax.add(bar.servicesMenu, {.role = "AXMenuItem", .attributes = {{"AXTitle", std::int64_t{5}}}});
    ax.failAttribute(bar.services[1], "AXTitle", kAXErrorCannotComplete);

    in(textEdit).getAllServiceMenuItemTitle();
    EXPECT_EQ(controller().allServiceNameDic, (TitleSet{{"Make Sticky", "1"}, {"", "1"}, {hostile, "1"}}));
    in(textEdit).clickServiceMenuItem(hostile);
    EXPECT_EQ(pressed(), std::vector<AXUIElementRef>{bar.services[3]});
    EXPECT_EQ(uses("TextEdit", hostile), 1);
}

TEST_F(ServicesMenu, DiscoveryDoesNothingWhileAnyTitleIsKnownAndFindsNothingInUnreadableChildren) {
    ProcessId textEdit = launchWithServices("TextEdit", {"Make Sticky"});
    controller().allServiceNameDic = {{"Old Service", "1"}};
    ax.clearRecords();
    in(textEdit).getAllServiceMenuItemTitle();
    EXPECT_EQ(controller().allServiceNameDic, (TitleSet{{"Old Service", "1"}}));
    EXPECT_EQ(ax.callCount(), 0);

    controller().allServiceNameDic.clear();
    controller().prevAllServiceNameDic = {{"Earlier", "1"}};
    ax.failAttribute(bars[textEdit].servicesMenu, "AXChildren", kAXErrorCannotComplete);
    in(textEdit).getAllServiceMenuItemTitle();
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
             ax.setAttribute(bars[pid].menuBar, "AXChildren", AXArray{ax.children(bars[pid].menuBar)[0]});
         }},
        {"no application menu", [&](ProcessId pid) { ax.remove(bars[pid].applicationMenu); }},
        {"no Services item", [&](ProcessId pid) { ax.remove(bars[pid].servicesItem); }},
        {"no Services menu", [&](ProcessId pid) { ax.remove(bars[pid].servicesMenu); }},
    };
    for (const auto& [name, breakIt] : breakages) {
        SCOPED_TRACE(name);
        controller().allServiceNameDic.clear();
        ProcessId textEdit = launchWithServices("TextEdit", {"Make Sticky", "Search With Google"});
        in(textEdit).getAllServiceMenuItemTitle();
        // Another application coming to the front sets the titles aside.
        RunningApplication finder = desktop.workspace.launch("Finder", "com.apple.finder");
        controller().didActivateApplicationNotification(Notification{
            NSWorkspaceDidActivateApplicationNotification, nullptr, {{NSWorkspaceApplicationKey, finder}}});

        breakIt(textEdit);
        controller().prevAllServiceNameDic["Kept Aside"] = "1";
        in(textEdit).getAllServiceMenuItemTitle();
        EXPECT_EQ(controller().allServiceNameDic,
                  (TitleSet{{"Make Sticky", "1"}, {"Search With Google", "1"}, {"Kept Aside", "1"}}));

        const int beeps = desktop.appServices.beepCount;
        in(textEdit).clickServiceMenuItem("Make Sticky");
        EXPECT_EQ(desktop.appServices.beepCount, beeps + 1);
        EXPECT_TRUE(ax.performedActions().empty());
        EXPECT_EQ(uses("TextEdit", "Make Sticky"), 0);
    }
}

TEST_F(ServicesMenu, InvocationPressesTheFirstItemOfThatTitleAndRecordsOnlyKnownTitles) {
    ProcessId textEdit =
        launchWithServices("TextEdit", {"Make Sticky", "Search With Google", "Search With Google"});
    // An item without a press action: a press the application ignores still counts.
    ax.add(bars[textEdit].servicesMenu, {.role = "AXMenuItem", .title = "Stubborn"});
    in(textEdit).getAllServiceMenuItemTitle();
    in(textEdit).clickServiceMenuItem("Search With Google");
    in(textEdit).clickServiceMenuItem("Stubborn");
    ASSERT_EQ(pressed(), std::vector<AXUIElementRef>{bars[textEdit].services[1]});
    EXPECT_EQ(ax.performedActions()[0].action, "AXPress");
    EXPECT_EQ(uses("TextEdit", "Search With Google"), 1);
    EXPECT_EQ(uses("*", "Search With Google"), 1);
    EXPECT_EQ(uses("TextEdit", "Stubborn"), 1);
    EXPECT_EQ(desktop.appServices.beepCount, 0);

    ax.remove(bars[textEdit].services[0]);
    in(textEdit).clickServiceMenuItem("Make Sticky");
    EXPECT_EQ(desktop.appServices.beepCount, 1);
    EXPECT_EQ(ax.performedActions().size(), 1u);
    EXPECT_EQ(uses("TextEdit", "Make Sticky"), 0);

    // Each walk takes fresh elements, so a rebuilt menu is found.
    ax.remove(bars[textEdit].servicesMenu);
    AXUIElementRef rebuilt = ax.addMenu(bars[textEdit].servicesItem, {"Make Sticky"});
    in(textEdit).clickServiceMenuItem("Make Sticky");
    EXPECT_EQ(pressed().back(), ax.children(rebuilt)[0]);
    EXPECT_EQ(uses("TextEdit", "Make Sticky"), 1);

    // Titles outside the known set are pressed but not recorded.
    ProcessId safari = launchWithServices("Safari", {"Add to Reading List"});
    in(safari).clickServiceMenuItem("Add to Reading List");
    EXPECT_EQ(pressed().back(), bars[safari].services[0]);
    EXPECT_EQ(uses("Safari", "Add to Reading List"), 0);
}

TEST_F(ServicesMenu, TheLocalizedOrPreferredTitleFindsTheMenuAndOnlyInvocationTriesTheLiteralOne) {
    desktop.appServices.localizations["Services"] = "Dienste";
    ProcessId german = launchWithServices("Vorschau", {"Notiz erstellen"}, "Dienste");
    ProcessId english = launchWithServices("TextEdit", {"Make Sticky"});
    ProcessId odd = launchWithServices("Odd", {"Gadget"}, "Helpers");

    in(english).getAllServiceMenuItemTitle();
    EXPECT_TRUE(controller().allServiceNameDic.empty()) << "discovery does not try the literal title";
    in(german).getAllServiceMenuItemTitle();
    EXPECT_EQ(controller().allServiceNameDic, (TitleSet{{"Notiz erstellen", "1"}}));
    in(english).clickServiceMenuItem("Make Sticky");
    in(german).clickServiceMenuItem("Notiz erstellen");
    EXPECT_EQ(pressed(), (std::vector<AXUIElementRef>{bars[english].services[0], bars[german].services[0]}));

    controller().allServiceNameDic.clear();
    controller().userDefaults.setObject(kServiceMenuItemTitle, "Helpers");
    in(odd).getAllServiceMenuItemTitle();
    EXPECT_EQ(controller().allServiceNameDic, (TitleSet{{"Gadget", "1"}}));
    in(odd).clickServiceMenuItem("Gadget");
    EXPECT_EQ(uses("Odd", "Gadget"), 1);
}

} // namespace
} // namespace quoddle
