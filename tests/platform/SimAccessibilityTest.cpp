#include "platform/sim/SimAccessibility.h"

#include <gtest/gtest.h>

// The simulation's own guarantees that the controller-level tests rely on without reaching them.
namespace quoddle {
namespace {

void ignoreDelivery(const AXObserverRef&, const AXUIElementRef&, const std::string&, const void*) {}

class SimAccessibilityTest : public ::testing::Test {
protected:
    SimAccessibility ax;
    AXUIElementRef app = ax.addApplication(42, "TextEdit");
    SimMenuBar bar = ax.addStandardMenuBar(42, {"Make Sticky", "Search With Google"});
};

TEST_F(SimAccessibilityTest, VanishedElementsAndTheirSubtreesFailAsInvalid) {
    auto observer = ax.createObserver(42, ignoreDelivery).value;
    AXUIElementRef item = bar.services[0];
    ASSERT_EQ(observer->addNotification(item, "AXMenuItemSelected", nullptr), kAXErrorSuccess);
    ax.remove(bar.servicesMenu);
    EXPECT_EQ(ax.copyAttributeValue(item, "AXTitle").error, kAXErrorInvalidUIElement);
    EXPECT_EQ(ax.performAction(item, "AXPress"), kAXErrorInvalidUIElement);
    EXPECT_TRUE(ax.children(bar.servicesItem).empty());
    // Withdrawing from a vanished element still drops its registration.
    EXPECT_EQ(observer->removeNotification(item, "AXMenuItemSelected"), kAXErrorInvalidUIElement);
    EXPECT_TRUE(ax.registrations().empty());

    ax.quitApplication(42);
    EXPECT_EQ(ax.copyAttributeNames(bar.menuBar).error, kAXErrorInvalidUIElement);
    EXPECT_EQ(ax.getPid(ax.createApplication(42)).error, kAXErrorInvalidUIElement);
}

TEST_F(SimAccessibilityTest, CallbacksMayChangeRegistrationsWhileANotificationIsDelivered) {
    static SimAccessibility* service;
    static int calls;
    service = &ax;
    calls = 0;
    AXObserverCallback withdrawAndRemove = [](const AXObserverRef& observer, const AXUIElementRef& element,
                                              const std::string& notification, const void*) {
        ++calls;
        observer->removeNotification(element, notification);
        service->remove(element);
    };
    auto observer = ax.createObserver(42, withdrawAndRemove).value;
    observer->addNotification(bar.servicesMenu, "AXMenuClosed", nullptr);
    observer->addToRunLoop();
    ax.closeMenu(bar.servicesMenu);
    ax.post(bar.servicesMenu, "AXMenuClosed");
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(ax.registrations().empty());
}

TEST(SimAccessibilityLifetime, ObserversOutlivingTheServiceRefuseCalls) {
    AXObserverRef observer;
    AXUIElementRef app;
    {
        SimAccessibility ax;
        app = ax.addApplication(5, "Gone");
        observer = ax.createObserver(5, ignoreDelivery).value;
    }
    EXPECT_EQ(observer->addNotification(app, "AXMenuOpened", nullptr), kAXErrorFailure);
    EXPECT_EQ(observer->removeNotification(app, "AXMenuOpened"), kAXErrorFailure);
}

} // namespace
} // namespace quoddle
