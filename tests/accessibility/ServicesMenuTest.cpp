// The questions the core asks of elements (children by index, title and role, and an element's identity), and
// an application's Services menu reached through its menu bar with them: the titles it holds, and pressing
// one.
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
        bars[pid] = ax.addStandardMenuBar(pid, services, servicesTitle);
        return pid;
    }

    SimDesktop desktop;
    UserDefaults preferences{desktop.defaultsStore};
    SimAccessibility& ax = desktop.accessibility;
    ElementQueries queries{ax, desktop.pointer};
    ServicesMenu menu{queries, desktop.appServices, preferences};
    std::map<ProcessId, SimMenuBar> bars;
};

// The element queries under the menu: child searches take the first readable match, an identity is the
// frame, and an attribute the element does not list is not read.
TEST_F(ServicesMenuTest, ElementQueriesTakeTheFirstReadableMatchAndNameAnElementByItsFrame) {
    const ProcessId pid = desktop.launch("TextEdit", "com.apple.TextEdit").processIdentifier;
    const ax::ElementRef window = ax.addWindow(pid, {.frame = Rect{{120.5, 455}, {600, 22}}});
    const ax::ElementRef first = ax.add(window, {.role = ax::Role::button, .title = "OK"});
    const ax::ElementRef second = ax.add(window, {.role = ax::Role::textField, .title = "OK"});
    EXPECT_EQ(queries.childTitled(window, {"Cancel", "OK"}), first);
    EXPECT_EQ(queries.childWithRole(window, ax::Role::textField), second);
    EXPECT_EQ(queries.childAt(window, 1), second);
    EXPECT_EQ(queries.childAt(window, 2), nullptr);
    EXPECT_EQ(queries.childAt(window, -1), nullptr) << "every negative index is out of range";
    ax.failAttribute(window, ax::Attribute::children, ax::Error::cannotComplete);
    EXPECT_EQ(queries.childTitled(window, {"OK"}), nullptr);
    EXPECT_EQ(queries.childTitled(nullptr, {"OK"}), nullptr);
    ax.remove(first);
    EXPECT_EQ(queries.childWithRole(first, ax::Role::button), nullptr)
        << "a vanished element has no children";

    // An identity is the position and the size.
    const ElementSummary summary = queries.summaryOf(window);
    EXPECT_EQ(summary.identity, "x=120.5 y=455 - w=600 h=22");
    EXPECT_EQ(summary.role, ax::Role::window);
    ax.setAttribute(window, ax::Attribute::focused, true);
    ax.hideAttributeName(window, ax::Attribute::focused);
    EXPECT_EQ(queries.listedAttribute(window, ax::Attribute::focused), std::nullopt);
    EXPECT_TRUE(queries.attribute(window, ax::Attribute::focused).has_value());
}

TEST_F(ServicesMenuTest, LearnsEveryReadableTitleOfTheMenusOwnItemsExactly) {
    const std::string hostile = "Tab\there\r\nbreak \xff\xfe invalid" + std::string(1 << 20, 's');
    const ProcessId textEdit = launchWithServices("TextEdit", {"Make Sticky", "Look Up", "", hostile});
    ax.addMenu(bars[textEdit].services[3], {"Inside A Submenu"});
    ax.add(bars[textEdit].servicesMenu, {.role = ax::Role::menuItem});
    ax.add(bars[textEdit].servicesMenu,
           {.role = ax::Role::menuItem, .attributes = {{ax::Attribute::title, 5}}});
    ax.failAttribute(bars[textEdit].services[1], ax::Attribute::title, ax::Error::cannotComplete);
    menu.learnTitlesFrom(textEdit);
    EXPECT_EQ(menu.knownTitleCount(), 3u);
    for (const std::string& title : {std::string("Make Sticky"), std::string(), hostile})
        EXPECT_TRUE(menu.isKnownTitle(title));
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
    ax.remove(bars[mail].servicesMenu);
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
