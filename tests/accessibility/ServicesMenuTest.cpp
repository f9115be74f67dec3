// An application's Services menu, reached through its menu bar: the titles it holds, and pressing one.
#include "accessibility/ServicesMenu.h"

#include "Preferences.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

namespace quoddle {
namespace {

class ServicesMenuTest : public ::testing::Test {
protected:
    ProcessId launchWithServices(const std::string& name, const std::vector<std::string>& services,
                                 const std::string& servicesTitle = "Services") {
        const ProcessId pid = desktop.launch(name, "com.example." + name).processIdentifier;
        bars[pid] = desktop.accessibility.addStandardMenuBar(pid, services, servicesTitle);
        return pid;
    }

    SimDesktop desktop;
    UserDefaults preferences{desktop.defaultsStore};
    ElementQueries queries{desktop.accessibility, desktop.pointer};
    ServicesMenu menu{queries, desktop.appServices, preferences};
    std::map<ProcessId, SimMenuBar> bars;
};

TEST_F(ServicesMenuTest, LearnsEveryReadableTitleOfTheMenusOwnItemsExactly) {
    const std::string hostile = "Tab\there\r\nbreak \xff\xfe invalid" + std::string(1 << 20, 's');
    const ProcessId textEdit = launchWithServices("TextEdit", {"Make Sticky", "Look Up", "", hostile});
    SimAccessibility& ax = desktop.accessibility;
    ax.addMenu(bars[textEdit].services[3], {"Inside A Submenu"});
    ax.add(bars[textEdit].servicesMenu, {.role = ax::Role::menuItem});
    ax.add(bars[textEdit].servicesMenu,
           {.role = ax::Role::menuItem, .attributes = {{ax::Attribute::title, 5}}});
    ax.failAttribute(bars[textEdit].services[1], ax::Attribute::title, ax::Error::cannotComplete);
    menu.learnTitlesFrom(textEdit);
    EXPECT_EQ(menu.knownTitleCount(), 3u);
    for (const std::string& title : {std::string("Make Sticky"), std::string(), hostile})
        EXPECT_TRUE(menu.isKnownTitle(title));
    EXPECT_FALSE(menu.isKnownTitle("Inside A Submenu"));
    EXPECT_TRUE(menu.press(textEdit, hostile));
    ASSERT_EQ(ax.performedActions().size(), 1u);
    EXPECT_EQ(ax.performedActions()[0].element, bars[textEdit].services[3]);
}

TEST_F(ServicesMenuTest, KnownTitlesStayUntilForgottenAndComeBackWhenNoMenuIsFound) {
    const ProcessId textEdit = launchWithServices("TextEdit", {"Make Sticky"});
    const ProcessId mail = launchWithServices("Mail", {"Send"});
    menu.learnTitlesFrom(textEdit);
    menu.learnTitlesFrom(mail);
    EXPECT_FALSE(menu.isKnownTitle("Send")) << "nothing is read while titles are known";
    menu.forgetTitles();
    menu.forgetTitles();
    EXPECT_EQ(menu.knownTitleCount(), 0u);
    // Every missing step of the walk leaves the titles set aside in place.
    desktop.accessibility.remove(bars[mail].servicesMenu);
    menu.learnTitlesFrom(mail);
    EXPECT_TRUE(menu.isKnownTitle("Make Sticky"));
    EXPECT_FALSE(menu.press(mail, "Send"));
    EXPECT_EQ(desktop.appServices.beepCount, 1);
}

TEST_F(ServicesMenuTest, TheLocalizedOrPreferredTitleFindsTheMenuAndOnlyPressingTriesTheLiteralOne) {
    const ProcessId de = launchWithServices("Editor", {"Nachschlagen"}, "Dienste");
    menu.learnTitlesFrom(de);
    EXPECT_EQ(menu.knownTitleCount(), 0u);
    desktop.defaultsStore.set(preference::servicesMenuTitle, "Dienste");
    menu.learnTitlesFrom(de);
    EXPECT_TRUE(menu.isKnownTitle("Nachschlagen"));
    EXPECT_TRUE(menu.press(de, "Nachschlagen"));

    desktop.appServices.localizations["Services"] = "Services localized";
    const ProcessId en = launchWithServices("Plain", {"Look Up"});
    menu.forgetTitles();
    desktop.defaultsStore.remove(preference::servicesMenuTitle);
    menu.learnTitlesFrom(en);
    EXPECT_FALSE(menu.isKnownTitle("Look Up")) << "learning looks under the localized title only";
    EXPECT_TRUE(menu.press(en, "Look Up")) << "pressing also tries the literal title";
}

} // namespace
} // namespace quoddle
