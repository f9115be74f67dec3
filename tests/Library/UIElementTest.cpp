#include "Library/UIElement.h"
#include "platform/sim/SimAccessibility.h"

#include <gtest/gtest.h>

#include <limits>

namespace quoddle {
namespace {

// Hit tests use the event location; the flipped mouse location would miss.
class FixedPointer : public Pointer {
public:
    Point mouseLocation() const override { return {location.x, 900 - location.y}; }
    Point eventLocation() const override { return location; }
    Point location;
};

class UIElementTest : public ::testing::Test {
protected:
    AXUIElementRef button(const AXUIElementRef& parent, std::optional<std::string> title,
                          std::optional<std::string> description = std::nullopt) {
        return ax.add(parent,
                      {.role = "AXButton", .title = std::move(title), .description = std::move(description)});
    }
    std::string describe(const AXAttributeValue& value, bool verbose = false) {
        return ui.descriptionOfValue(value, verbose).value_or("(none)");
    }
    std::string text(const std::optional<AXAttributeValue>& value) {
        const std::string* text = value ? value->get<std::string>() : nullptr;
        return text ? *text : "(none)";
    }

    SimAccessibility ax;
    FixedPointer pointer;
    UIElement ui{ax, pointer};
    AXUIElementRef app = ax.addApplication(42, "TextEdit");
    AXUIElementRef menu = ax.addMenu(ax.add(app, {.role = "AXMenuBarItem"}), {"One", "Two", "Three"});
};

TEST_F(UIElementTest, ChildSearchesFindOnlyChildrenInsideTheListAndNoneOfUnreadableOrVanishedOnes) {
    const auto items = ax.children(menu);
    EXPECT_EQ(ui.copyIndexElementInChildren(menu, 2), items[2]);
    EXPECT_EQ(ui.copyIndexElementInChildren(menu, 3), nullptr);
    EXPECT_EQ(ui.copyIndexElementInChildren(menu, -1), nullptr);
    EXPECT_EQ(ui.copyIndexElementInChildren(menu, std::numeric_limits<std::int32_t>::min()), nullptr);
    EXPECT_EQ(ui.copyIndexElementInChildren(items[0], 0), nullptr); // no children at all
    EXPECT_EQ(ui.copyIndexElementInChildren(nullptr, 0), nullptr);

    AXUIElementRef hostile = ax.add(app, {.role = "AXGroup", .attributes = {{"AXChildren", "not a list"}}});
    AXUIElementRef gone = ax.addMenu(ax.add(app, {.role = "AXMenuBarItem"}), {"One"});
    ax.remove(gone);
    ax.failAttribute(menu, "AXChildren", kAXErrorCannotComplete);
    for (const AXUIElementRef& parent : {menu, hostile, gone}) {
        EXPECT_EQ(ui.copyIndexElementInChildren(parent, 0), nullptr);
        EXPECT_EQ(ui.copyTitleElementInChildren(parent, {"One", "not a list"}), nullptr);
        EXPECT_EQ(ui.copyRoleElementInChildren(parent, "AXMenuItem"), nullptr);
    }
}

TEST_F(UIElementTest, SearchesSkipUntitledChildrenAndEntriesThatAreNoElementsAndTheFirstMatchWins) {
    AXUIElementRef services = ax.add(app, {.role = "AXMenu"});
    AXUIElementRef untitled = button(services, std::nullopt);
    AXUIElementRef numbered =
        ax.add(services, {.role = "AXMenuItem", .attributes = {{"AXTitle", std::int64_t{7}}}});
    AXUIElementRef localized = ax.add(services, {.role = "AXMenuItem", .title = "Dienste"});
    AXUIElementRef literal = button(services, "Services");
    ax.setAttribute(
        services, "AXChildren",
        AXArray{"junk", AXUIElementRef{}, untitled, numbered, localized, literal, button(app, "Services")});

    EXPECT_EQ(ui.copyTitleElementInChildren(services, {"Services", "Dienste"}), localized);
    EXPECT_EQ(ui.copyTitleElementInChildren(services, {"Services"}), literal);
    EXPECT_EQ(ui.copyTitleElementInChildren(services, {"7"}), nullptr); // a number is no title
    EXPECT_EQ(ui.copyRoleElementInChildren(services, "AXMenuItem"), numbered);
    EXPECT_EQ(ui.copyRoleElementInChildren(services, "AXButton"), untitled);
    EXPECT_EQ(ui.copyRoleElementInChildren(services, "AXSheet"), nullptr);
    EXPECT_EQ(ui.copyIndexElementInChildren(services, 0), nullptr);
    EXPECT_EQ(ui.copyIndexElementInChildren(services, 2), untitled);
}

TEST_F(UIElementTest, ValuesAndElementsGetTheTextOfTheirKind) {
    const struct {
        AXAttributeValue value;
        bool verbose;
        std::string text;
    } cases[] = {
        {AXPointValue{1.0 / 3, 3}, false, "x=0.333333 y=3"},
        {AXPointValue{12.5, 120}, true, "<AXPointValue x=12.5 y=120>"},
        {AXSizeValue{56, 78}, true, "<AXSizeValue w=56 h=78>"},
        {AXRectValue{1, -2, 0.25, 1e20}, false, "x=1 y=-2 w=0.25 h=1e+20"},
        {AXRectValue{1, -2, 0.25, 1e20}, true, "<AXRectValue  x=1 y=-2 w=0.25 h=1e+20>"},
        {AXRangeValue{5, 0}, false, "pos=5 len=0"},
        {AXRangeValue{-1, 123456789012}, true, "<AXRangeValue pos=-1 len=123456789012>"},
        {AXArray{"a", 1, AXPointValue{}}, false, "<array of size 3>"},
        {std::int64_t{-7}, false, "-7"},
        {2.5, false, "2.5"},
        {true, false, "1"},
        {AXOpaqueValue{"{length = 24, bytes = 0x01}"}, false, "{length = 24, bytes = 0x01}"},
        // Elements: role and title, or else description.
        {button(app, "OK"), false, R"(<AXButton: "OK">)"},
        {button(app, ""), false, R"(<AXButton: "">)"},
        {button(app, std::nullopt), false, "<AXButton>"},
        {button(app, std::nullopt, "Close"), false, R"(<AXButton: "Close">)"},
        {button(app, "", "Close"), false, R"(<AXButton: "Close">)"},
        {button(app, "", ""), false, R"(<AXButton: "">)"},
        {button(app, "OK", "Close"), false, R"(<AXButton: "OK">)"},
    };
    for (const auto& [value, verbose, text] : cases)
        EXPECT_EQ(describe(value, verbose), text) << text;
    EXPECT_EQ(stringDescriptionOfAXValue("text", false), "AXValue???");
    EXPECT_EQ(ui.descriptionOfValue(std::nullopt, true), std::nullopt);
}

TEST_F(UIElementTest, HostileElementsStillGetAText) {
    AXUIElementRef gone = button(app, "OK");
    ax.remove(gone);
    for (const AXUIElementRef& roleless : {ax.add(app, {.title = "OK"}), gone, AXUIElementRef{}})
        EXPECT_EQ(describe(roleless), "<AXUIElement>");

    // A title that is itself an element is printed, not described, so it cannot recurse.
    AXUIElementRef selfTitled = button(app, std::nullopt);
    ax.setAttribute(selfTitled, "AXTitle", selfTitled);
    EXPECT_EQ(describe(selfTitled), R"(<AXButton: "<AXUIElement>">)");

    const std::string odd = "a\tb\r\nc\xff\xfe\xc3";
    EXPECT_EQ(describe(button(app, odd)), "<AXButton: \"" + odd + "\">");
    const std::string huge(1 << 20, 'x');
    EXPECT_EQ(describe(button(app, huge)), "<AXButton: \"" + huge + "\">");
}

TEST_F(UIElementTest, AttributeReadsAnswerActionsAndSkipEmptyOrUnlistedNames) {
    AXUIElementRef ok =
        ax.add(app, {.role = "AXButton", .title = "OK", .actions = {"AXPress", "AXShowMenu"}});
    ax.clearRecords();
    EXPECT_EQ(ui.copyValueOfExistingAttribute("", ok), std::nullopt);
    EXPECT_EQ(ax.callCount(), 0);

    EXPECT_EQ(text(ui.copyValueOfExistingAttribute("AXTitle", ok)), "OK");

    EXPECT_EQ(text(ui.copyValueOfExistingAttribute("actions", ok)), "AXPress\nAXShowMenu\n");
    EXPECT_EQ(text(ui.copyValueOfExistingAttribute("actions", button(app, "Idle"))), "");
    ax.failActionNames(ok, kAXErrorFailure);
    EXPECT_EQ(ui.copyValueOfExistingAttribute("actions", ok), std::nullopt);

    // Listed attributes only: a hidden one, and any on an element whose names cannot be read, are never read.
    AXUIElementRef item = ax.children(menu)[0];
    ax.setAttribute(menu, "AXSecret", "hidden");
    ax.hideAttributeName(menu, "AXSecret");
    ax.failAttributeNames(item, kAXErrorFailure);
    ax.clearRecords();
    EXPECT_EQ(text(ui.valueOfAttribute("AXRole", menu)), "AXMenu");
    EXPECT_EQ(ui.valueOfAttribute("AXSecret", menu), std::nullopt);
    EXPECT_EQ(ui.valueOfAttribute("", menu), std::nullopt);
    EXPECT_EQ(ui.valueOfAttribute("AXTitle", item), std::nullopt); // its names cannot be read
    ASSERT_EQ(ax.attributeReads().size(), 1u);
    EXPECT_EQ(ax.attributeReads()[0].attribute, "AXRole");
}

TEST_F(UIElementTest, LineageRunsFromTheTopAncestorDownAndEndsOnLoopingDeepOrBrokenChains) {
    AXUIElementRef window = ax.add(app, {.role = "AXWindow", .title = "Untitled"});
    AXUIElementRef ok = button(ax.add(window, {.role = "AXGroup"}), "OK");
    EXPECT_EQ(
        text(ui.copyValueOfExistingAttribute("lineage", ok)),
        "<AXApplication: \"TextEdit\">\n <AXWindow: \"Untitled\">\n  <AXGroup>\n   <AXButton: \"OK\">\n");
    EXPECT_EQ(ui.copyValueOfExistingAttribute("lineage", nullptr), std::nullopt);

    AXUIElementRef a = button(app, "A");
    AXUIElementRef b = button(app, "B");
    ax.setAttribute(a, "AXParent", b);
    ax.setAttribute(b, "AXParent", a);
    EXPECT_EQ(ui.lineageOfUIElement(a),
              (std::vector<std::string>{R"(<AXButton: "B">)", R"(<AXButton: "A">)"}));
    ax.setAttribute(a, "AXParent", "not an element");
    EXPECT_EQ(ui.lineageOfUIElement(a), std::vector<std::string>{R"(<AXButton: "A">)"});

    AXUIElementRef deepest = app;
    for (int level = 0; level < 200; ++level)
        deepest = button(deepest, "level " + std::to_string(level));
    EXPECT_EQ(ui.lineageOfUIElement(deepest).size(), 64u);
}

TEST_F(UIElementTest, HitTestsAtTheMouseUseTheEventLocation) {
    AXUIElementRef window = ax.addWindow(42, {.title = "Back", .frame = Rect{{0, 0}, {400, 300}}});
    pointer.location = {20.4, 15.6};
    EXPECT_EQ(ui.copyUIElementAtMouse(), window);
    ax.setAPIEnabled(false);
    EXPECT_EQ(ui.copyUIElementAtMouse(), nullptr);
}

} // namespace
} // namespace quoddle
