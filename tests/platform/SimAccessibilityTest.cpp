#include "platform/sim/SimAccessibility.h"

#include <gtest/gtest.h>

namespace quoddle {
namespace {

struct Delivery {
    ProcessId observerPid;
    AXUIElementRef element;
    std::string notification;
    const void* context;
};
std::vector<Delivery> gDeliveries;

void recordDelivery(const AXObserverRef& observer, const AXUIElementRef& element,
                    const std::string& notification, const void* context) {
    gDeliveries.push_back({static_cast<SimObserver&>(*observer).pid(), element, notification, context});
}

std::vector<std::string> deliveredNames() {
    std::vector<std::string> names;
    for (const auto& d : gDeliveries)
        names.push_back(d.notification);
    return names;
}

class SimAccessibilityTest : public ::testing::Test {
protected:
    void SetUp() override { gDeliveries.clear(); }
    AXObserverRef observe(ProcessId pid) {
        auto created = ax.createObserver(pid, recordDelivery);
        EXPECT_TRUE(created);
        return created.value;
    }

    SimAccessibility ax;
    AXUIElementRef app = ax.addApplication(42, "TextEdit");
    SimMenuBar bar = ax.addStandardMenuBar(42, {"Make Sticky", "Search With Google"});
};

TEST_F(SimAccessibilityTest, StandardMenuBarHasSystemMenuThenApplicationMenuWithServices) {
    const auto items = ax.children(bar.menuBar);
    ASSERT_GE(items.size(), 2u);
    EXPECT_EQ(ax.children(items[1]).at(0), bar.applicationMenu);
    auto title = ax.copyAttributeValue(items[1], "AXTitle");
    ASSERT_TRUE(title);
    EXPECT_EQ(*title.value.get<std::string>(), "TextEdit");
    auto parent = ax.copyAttributeValue(bar.servicesMenu, "AXParent");
    ASSERT_TRUE(parent);
    EXPECT_EQ(*parent.value.get<AXUIElementRef>(), bar.servicesItem);
    ASSERT_EQ(bar.services.size(), 2u);
    EXPECT_EQ(*ax.copyAttributeValue(bar.services[1], "AXTitle").value.get<std::string>(),
              "Search With Google");
}

TEST_F(SimAccessibilityTest, VanishedElementsAndTheirSubtreesFailAsInvalid) {
    AXUIElementRef item = bar.services[0];
    ax.remove(bar.servicesMenu);
    EXPECT_EQ(ax.copyAttributeValue(item, "AXTitle").error, kAXErrorInvalidUIElement);
    EXPECT_EQ(ax.performAction(item, "AXPress"), kAXErrorInvalidUIElement);
    EXPECT_TRUE(ax.children(bar.servicesItem).empty());

    AXUIElementRef early = ax.createApplication(77);
    EXPECT_EQ(ax.getPid(early).error, kAXErrorInvalidUIElement);
    ax.addApplication(77, "Late");
    EXPECT_EQ(ax.getPid(early).value, 77);
    ax.quitApplication(42);
    EXPECT_EQ(ax.copyAttributeNames(bar.menuBar).error, kAXErrorInvalidUIElement);
    EXPECT_EQ(ax.getPid(ax.createApplication(42)).error, kAXErrorInvalidUIElement);
}

TEST_F(SimAccessibilityTest, ActionsAreRecordedOnlyWhenTheElementSupportsThem) {
    EXPECT_EQ(ax.performAction(bar.services[1], "AXPress"), kAXErrorSuccess);
    EXPECT_EQ(ax.performAction(bar.menuBar, "AXPress"), kAXErrorActionUnsupported);
    EXPECT_EQ(ax.performAction(bar.services[0], "AXCancel"), kAXErrorSuccess);
    ASSERT_EQ(ax.performedActions().size(), 2u);
    EXPECT_EQ(ax.performedActions()[0].element, bar.services[1]);
    EXPECT_EQ(ax.performedActions()[1].action, "AXCancel");

    EXPECT_EQ(ax.postKeyboardEvent(app, u'c', 8, true), kAXErrorSuccess);
    EXPECT_EQ(ax.postKeyboardEvent(ax.createSystemWide(), 0, 55, false), kAXErrorSuccess);
    EXPECT_EQ(ax.keyboardEvents(), (std::vector<SimKeyboardEvent>{{42, u'c', 8, true}, {-1, 0, 55, false}}));

    ax.setAPIEnabled(false);
    EXPECT_EQ(ax.performAction(bar.services[1], "AXPress"), kAXErrorAPIDisabled);
    EXPECT_EQ(ax.createObserver(42, recordDelivery).error, kAXErrorAPIDisabled);
}

TEST_F(SimAccessibilityTest, ObserversHearApplicationRegistrationsOnlyOnceInTheRunLoop) {
    int context = 0;
    AXObserverRef observer = observe(42);
    EXPECT_EQ(observer->addNotification(app, "AXMenuOpened", &context), kAXErrorSuccess);
    EXPECT_EQ(observer->addNotification(app, "AXMenuOpened", &context), kAXErrorFailure);
    ax.openMenu(bar.servicesMenu);
    EXPECT_TRUE(gDeliveries.empty());

    observer->addToRunLoop();
    ax.openMenu(bar.servicesMenu);
    ax.closeMenu(bar.servicesMenu); // not registered
    ASSERT_EQ(gDeliveries.size(), 1u);
    EXPECT_EQ(gDeliveries[0].element, bar.servicesMenu);
    EXPECT_EQ(gDeliveries[0].context, &context);

    EXPECT_EQ(observer->removeNotification(app, "AXMenuOpened"), kAXErrorSuccess);
    ax.openMenu(bar.servicesMenu);
    EXPECT_EQ(gDeliveries.size(), 1u);
    EXPECT_TRUE(ax.registrations().empty());
}

TEST_F(SimAccessibilityTest, RegistrationsAreRecordedAndLimitedToTheObservedProcess) {
    ax.addApplication(43, "Mail");
    AXObserverRef observer = observe(42);
    int context = 0;
    observer->addNotification(app, "AXSelectedTextChanged", &context);
    observer->addNotification(bar.servicesMenu, "AXSelectedChildrenChanged", nullptr);
    EXPECT_EQ(observer->addNotification(ax.application(43), "AXMenuOpened", nullptr),
              kAXErrorIllegalArgument);
    auto registrations = ax.registrations();
    ASSERT_EQ(registrations.size(), 2u);
    EXPECT_EQ(registrations[0].element, app);
    EXPECT_EQ(registrations[0].context, &context);
    EXPECT_EQ(registrations[1].notification, "AXSelectedChildrenChanged");

    ax.failObserverCreation(43, kAXErrorCannotComplete);
    EXPECT_EQ(ax.createObserver(43, recordDelivery).error, kAXErrorCannotComplete);
    observer.reset();
    EXPECT_TRUE(ax.registrations().empty());
}

TEST_F(SimAccessibilityTest, ChoosingAMenuItemReportsTheHighlightTheChoiceAndTheClosing) {
    AXObserverRef observer = observe(42);
    for (const char* name : {"AXMenuItemSelected", "AXMenuOpened", "AXMenuClosed"})
        observer->addNotification(app, name, "ctx");
    observer->addNotification(bar.servicesMenu, "AXSelectedChildrenChanged", nullptr);
    observer->addToRunLoop();

    ax.openMenu(bar.servicesMenu);
    ax.highlightMenuItem(bar.servicesMenu, bar.services[1]);
    auto selected = ax.copyAttributeValue(bar.servicesMenu, "AXSelectedChildren");
    ASSERT_TRUE(selected);
    EXPECT_EQ(*selected.value.get<AXArray>()->at(0).get<AXUIElementRef>(), bar.services[1]);
    ax.chooseMenuItem(bar.services[1]);

    EXPECT_EQ(deliveredNames(),
              (std::vector<std::string>{"AXMenuOpened", "AXSelectedChildrenChanged", "AXMenuItemSelected",
                                        "AXMenuClosed", "AXMenuClosed"}));
    EXPECT_EQ(gDeliveries[1].context, nullptr); // the menu's own registration wins over the application's
    EXPECT_EQ(gDeliveries[2].element, bar.services[1]);
    EXPECT_EQ(gDeliveries[3].element, bar.servicesMenu);
    EXPECT_EQ(gDeliveries[4].element, bar.applicationMenu);
}

TEST_F(SimAccessibilityTest, SelectingTextSetsTheSelectionBeforeReportingIt) {
    AXUIElementRef window = ax.addWindow(42, {.title = "Untitled", .frame = Rect{{0, 0}, {500, 400}}});
    AXUIElementRef text = ax.add(window, {.role = "AXTextArea", .frame = Rect{{10, 30}, {480, 360}}});
    AXUIElementRef field = ax.add(window, {.role = "AXTextField", .frame = Rect{{10, 5}, {480, 20}}});
    AXObserverRef observer = observe(42);
    observer->addNotification(app, "AXSelectedTextChanged", nullptr);
    observer->addToRunLoop();

    ax.focus(text);
    ax.focus(field);
    EXPECT_EQ(*ax.copyAttributeValue(text, "AXFocused").value.get<bool>(), false);
    EXPECT_EQ(*ax.copyAttributeValue(field, "AXFocused").value.get<bool>(), true);
    EXPECT_EQ(*ax.copyAttributeValue(app, "AXFocusedUIElement").value.get<AXUIElementRef>(), field);

    ax.selectText(text, {4, 7});
    ax.selectTextMarkers(field, "{length = 24, bytes = 0x01} {length = 24, bytes = 0x02}");
    ASSERT_EQ(gDeliveries.size(), 2u);
    EXPECT_EQ(gDeliveries[0].element, text);
    EXPECT_EQ(ax.copyAttributeValue(text, "AXSelectedTextRange").value.get<AXRangeValue>()->length, 7);
    EXPECT_EQ(
        ax.copyAttributeValue(field, "AXSelectedTextMarkerRange").value.get<AXOpaqueValue>()->description,
        "{length = 24, bytes = 0x01} {length = 24, bytes = 0x02}");
    auto position = ax.copyAttributeValue(text, "AXPosition");
    EXPECT_EQ(position.value.get<AXPointValue>()->y, 30);
}

TEST_F(SimAccessibilityTest, CallbacksMayChangeRegistrationsWhileANotificationIsDelivered) {
    static SimAccessibility* service;
    service = &ax;
    AXObserverCallback withdrawOnClose = [](const AXObserverRef& observer, const AXUIElementRef& element,
                                            const std::string& notification, const void*) {
        if (notification == "AXMenuClosed") observer->removeNotification(element, "AXMenuClosed");
        service->remove(element);
        gDeliveries.push_back({42, element, notification, nullptr});
    };
    auto observer = ax.createObserver(42, withdrawOnClose).value;
    observer->addNotification(bar.servicesMenu, "AXMenuClosed", nullptr);
    observer->addToRunLoop();
    ax.closeMenu(bar.servicesMenu);
    ax.post(bar.servicesMenu, "AXMenuClosed");
    EXPECT_EQ(gDeliveries.size(), 1u);
    EXPECT_TRUE(ax.registrations().empty());
}

TEST(SimAccessibilityLifetime, ObserversOutlivingTheServiceRefuseCalls) {
    AXObserverRef observer;
    AXUIElementRef app;
    {
        SimAccessibility ax;
        app = ax.addApplication(5, "Gone");
        observer = ax.createObserver(5, recordDelivery).value;
    }
    EXPECT_EQ(observer->addNotification(app, "AXMenuOpened", nullptr), kAXErrorFailure);
    EXPECT_EQ(observer->removeNotification(app, "AXMenuOpened"), kAXErrorFailure);
}

} // namespace
} // namespace quoddle
