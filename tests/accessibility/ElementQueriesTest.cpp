// The questions the core asks of elements: children by index, title and role, and an element's identity.
#include "accessibility/ElementQueries.h"

#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

namespace quoddle {
namespace {

class ElementQueriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        const ProcessId pid = desktop.launch("TextEdit", "com.apple.TextEdit").processIdentifier;
        window = ax.addWindow(pid, {.frame = Rect{{120.5, 455}, {600, 22}}});
        first = ax.add(window, {.role = ax::Role::button, .title = "OK"});
        second = ax.add(window, {.role = ax::Role::textField, .title = "OK"});
    }
    SimDesktop desktop;
    SimAccessibility& ax = desktop.accessibility;
    ElementQueries queries{ax, desktop.pointer};
    ax::ElementRef window, first, second;
};

TEST_F(ElementQueriesTest,
       ChildSearchesTakeTheFirstReadableMatchAnIdentityIsTheFrameAndAnUnlistedAttributeIsNotRead) {
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

} // namespace
} // namespace quoddle
