#include "Library/UIElement.h"
#include "platform/sim/SimAccessibility.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

namespace quoddle {
namespace {

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
    bool wasRead(const std::string& attribute) const {
        const auto& reads = ax.attributeReads();
        return std::any_of(reads.begin(), reads.end(),
                           [&](const auto& r) { return r.attribute == attribute; });
    }

    SimAccessibility ax;
    FixedPointer pointer;
    UIElement ui{ax, pointer};
    AXUIElementRef app = ax.addApplication(42, "TextEdit");
    AXUIElementRef menu = ax.addMenu(ax.add(app, {.role = "AXMenuBarItem"}), {"One", "Two", "Three"});
};

TEST_F(UIElementTest, IndexSearchReturnsOnlyChildrenStrictlyInsideTheList) {
    const auto items = ax.children(menu);
    EXPECT_EQ(ui.copyIndexElementInChildren(menu, 0), items[0]);
    EXPECT_EQ(ui.copyIndexElementInChildren(menu, 2), items[2]);
    EXPECT_EQ(ui.copyIndexElementInChildren(menu, 3), nullptr);
    EXPECT_EQ(ui.copyIndexElementInChildren(menu, -1), nullptr);
    EXPECT_EQ(ui.copyIndexElementInChildren(menu, std::numeric_limits<std::int32_t>::min()), nullptr);
    EXPECT_EQ(ui.copyIndexElementInChildren(items[0], 0), nullptr); // no children at all
    EXPECT_EQ(ui.copyIndexElementInChildren(nullptr, 0), nullptr);
}

TEST_F(UIElementTest, ChildSearchesGiveNoneWhenTheChildrenCannotBeReadOrAreNoList) {
    ax.failAttribute(menu, "AXChildren", kAXErrorCannotComplete);
    EXPECT_EQ(ui.copyIndexElementInChildren(menu, 0), nullptr);
    EXPECT_EQ(ui.copyTitleElementInChildren(menu, {"One"}), nullptr);
    EXPECT_EQ(ui.copyRoleElementInChildren(menu, "AXMenuItem"), nullptr);

    AXUIElementRef hostile = ax.add(app, {.role = "AXGroup", .attributes = {{"AXChildren", "not a list"}}});
    EXPECT_EQ(ui.copyIndexElementInChildren(hostile, 0), nullptr);
    EXPECT_EQ(ui.copyTitleElementInChildren(hostile, {"not a list"}), nullptr);
}

TEST_F(UIElementTest, ChildSearchesFailOnAnElementThatVanished) {
    AXUIElementRef gone = ax.addMenu(ax.add(app, {.role = "AXMenuBarItem"}), {"Services"});
    ax.remove(gone);
    EXPECT_EQ(ui.copyIndexElementInChildren(gone, 0), nullptr);
    EXPECT_EQ(ui.copyTitleElementInChildren(gone, {"Services"}), nullptr);
    EXPECT_EQ(ui.copyRoleElementInChildren(gone, "AXMenuItem"), nullptr);
}

TEST_F(UIElementTest, TitleSearchSkipsUntitledChildrenAndTheFirstMatchInChildOrderWins) {
    AXUIElementRef services = ax.add(app, {.role = "AXMenu"});
    button(services, std::nullopt);
    ax.add(services, {.role = "AXMenuItem", .attributes = {{"AXTitle", std::int64_t{7}}}});
    AXUIElementRef localized = button(services, "Dienste");
    AXUIElementRef literal = button(services, "Services");
    button(services, "Services");

    EXPECT_EQ(ui.copyTitleElementInChildren(services, {"Services", "Dienste"}), localized);
    EXPECT_EQ(ui.copyTitleElementInChildren(services, {"Services"}), literal);
    EXPECT_EQ(ui.copyTitleElementInChildren(services, {"7"}), nullptr); // a number is no title
    EXPECT_EQ(ui.copyTitleElementInChildren(services, {"services"}), nullptr);
    EXPECT_EQ(ui.copyTitleElementInChildren(services, {}), nullptr);
}

TEST_F(UIElementTest, ChildSearchesSkipEntriesThatAreNoElements) {
    AXUIElementRef target = ax.add(app, {.role = "AXMenuBar", .title = "Bar"});
    AXUIElementRef group = ax.add(app, {.role = "AXGroup"});
    ax.setAttribute(group, "AXChildren", AXArray{"junk", std::int64_t{3}, AXUIElementRef{}, target});
    EXPECT_EQ(ui.copyRoleElementInChildren(group, "AXMenuBar"), target);
    EXPECT_EQ(ui.copyTitleElementInChildren(group, {"Bar"}), target);
    EXPECT_EQ(ui.copyIndexElementInChildren(group, 0), nullptr);
    EXPECT_EQ(ui.copyIndexElementInChildren(group, 3), target);
}

TEST_F(UIElementTest, RoleSearchFindsTheFirstChildOfThatRole) {
    ax.add(app, {.role = "AXWindow"});
    AXUIElementRef bar = ax.add(app, {.role = "AXMenuBar"});
    ax.add(app, {.role = "AXMenuBar"});
    EXPECT_EQ(ui.copyRoleElementInChildren(app, "AXMenuBar"), bar);
    EXPECT_EQ(ui.copyRoleElementInChildren(app, "AXSheet"), nullptr);
}

TEST_F(UIElementTest, ElementDescriptionsUseRoleAndTitleOrDescription) {
    EXPECT_EQ(describe(button(app, "OK")), R"(<AXButton: "OK">)");
    EXPECT_EQ(describe(button(app, "")), R"(<AXButton: "">)");
    EXPECT_EQ(describe(button(app, std::nullopt)), "<AXButton>");
    EXPECT_EQ(describe(button(app, std::nullopt, "Close")), R"(<AXButton: "Close">)");
    EXPECT_EQ(describe(button(app, "", "Close")), R"(<AXButton: "Close">)");
    EXPECT_EQ(describe(button(app, "", "")), R"(<AXButton: "">)");
    EXPECT_EQ(describe(button(app, "OK", "Close")), R"(<AXButton: "OK">)");
}

TEST_F(UIElementTest, ElementsWithoutReadableRoleAndHostileTitlesStillGetAText) {
    AXUIElementRef roleless = ax.add(app, {.title = "OK"});
    EXPECT_EQ(describe(roleless), "<AXUIElement>");
    AXUIElementRef gone = button(app, "OK");
    ax.remove(gone);
    EXPECT_EQ(describe(gone), "<AXUIElement>");
    EXPECT_EQ(describe(AXUIElementRef{}), "<AXUIElement>");

    // A title that is itself an element is printed, not described, so it cannot recurse.
    AXUIElementRef selfTitled = button(app, std::nullopt);
    ax.setAttribute(selfTitled, "AXTitle", selfTitled);
    EXPECT_EQ(describe(selfTitled), R"(<AXButton: "<AXUIElement>">)");

    const std::string odd = "a\tb\r\nc\xff\xfe\xc3";
    EXPECT_EQ(describe(button(app, odd)), "<AXButton: \"" + odd + "\">");
    const std::string huge(1 << 20, 'x');
    EXPECT_EQ(describe(button(app, huge)).size(), huge.size() + 14);
}

TEST_F(UIElementTest, AccessibilityValuesFollowTheirTableInBothForms) {
    EXPECT_EQ(describe(AXPointValue{12.5, 3}), "x=12.5 y=3");
    EXPECT_EQ(describe(AXPointValue{12.5, 3}, true), "<AXPointValue x=12.5 y=3>");
    EXPECT_EQ(describe(AXSizeValue{56, 78}), "w=56 h=78");
    EXPECT_EQ(describe(AXSizeValue{56, 78}, true), "<AXSizeValue w=56 h=78>");
    EXPECT_EQ(describe(AXRectValue{1, -2, 0.25, 1e20}), "x=1 y=-2 w=0.25 h=1e+20");
    EXPECT_EQ(describe(AXRectValue{1, -2, 0.25, 1e20}, true), "<AXRectValue  x=1 y=-2 w=0.25 h=1e+20>");
    EXPECT_EQ(describe(AXRangeValue{5, 0}), "pos=5 len=0");
    EXPECT_EQ(describe(AXRangeValue{-1, 123456789012}, true), "<AXRangeValue pos=-1 len=123456789012>");
    EXPECT_EQ(describe(AXPointValue{1.0 / 3, 120}), "x=0.333333 y=120");
    EXPECT_EQ(stringDescriptionOfAXValue("text", false), "AXValue???");
    EXPECT_EQ(stringDescriptionOfAXValue(AXOpaqueValue{"marker"}, true), "AXValue???");
}

TEST_F(UIElementTest, ListsAndPlainValuesGiveTheirOwnTexts) {
    EXPECT_EQ(describe(AXArray{"a", 1, AXPointValue{}}), "<array of size 3>");
    EXPECT_EQ(describe(AXArray{}), "<array of size 0>");
    EXPECT_EQ(describe("plain text"), "plain text");
    EXPECT_EQ(describe(std::int64_t{-7}), "-7");
    EXPECT_EQ(describe(2.5), "2.5");
    EXPECT_EQ(describe(true), "1");
    EXPECT_EQ(describe(false), "0");
    EXPECT_EQ(describe(AXOpaqueValue{"{length = 24, bytes = 0x01}"}), "{length = 24, bytes = 0x01}");
    EXPECT_EQ(ui.descriptionOfValue(std::nullopt, true), std::nullopt);
}

TEST_F(UIElementTest, EmptyAttributeNameGivesNoneWithoutAPlatformCall) {
    AXUIElementRef ok = button(app, "OK");
    ax.clearRecords();
    EXPECT_EQ(ui.copyValueOfExistingAttribute("", ok), std::nullopt);
    EXPECT_EQ(ax.callCount(), 0);
}

TEST_F(UIElementTest, ExistingAttributeReadsPlainAttributesAndAnswersActions) {
    AXUIElementRef ok =
        ax.add(app, {.role = "AXButton", .title = "OK", .actions = {"AXPress", "AXShowMenu"}});
    auto title = ui.copyValueOfExistingAttribute("AXTitle", ok);
    ASSERT_TRUE(title && title->get<std::string>());
    EXPECT_EQ(*title->get<std::string>(), "OK");
    EXPECT_EQ(ui.copyValueOfExistingAttribute("AXValue", ok), std::nullopt);
    ax.failAttribute(ok, "AXRole", kAXErrorCannotComplete);
    EXPECT_EQ(ui.copyValueOfExistingAttribute("AXRole", ok), std::nullopt);

    auto actions = ui.copyValueOfExistingAttribute("actions", ok);
    ASSERT_TRUE(actions && actions->get<std::string>());
    EXPECT_EQ(*actions->get<std::string>(), "AXPress\nAXShowMenu\n");
    auto none = ui.copyValueOfExistingAttribute("actions", button(app, "Idle"));
    ASSERT_TRUE(none && none->get<std::string>());
    EXPECT_EQ(*none->get<std::string>(), "");
    ax.failActionNames(ok, kAXErrorFailure);
    EXPECT_EQ(ui.copyValueOfExistingAttribute("actions", ok), std::nullopt);
}

TEST_F(UIElementTest, LineageRunsFromTheTopAncestorDownWithOneMoreSpacePerLevel) {
    AXUIElementRef window = ax.add(app, {.role = "AXWindow", .title = "Untitled"});
    AXUIElementRef group = ax.add(window, {.role = "AXGroup"});
    AXUIElementRef ok = button(group, "OK");
    EXPECT_EQ(ui.lineageOfUIElement(ok),
              (std::vector<std::string>{R"(<AXApplication: "TextEdit">)", R"(<AXWindow: "Untitled">)",
                                        "<AXGroup>", R"(<AXButton: "OK">)"}));
    auto lineage = ui.copyValueOfExistingAttribute("lineage", ok);
    ASSERT_TRUE(lineage && lineage->get<std::string>());
    EXPECT_EQ(*lineage->get<std::string>(), "<AXApplication: \"TextEdit\">\n <AXWindow: \"Untitled\">\n"
                                            "  <AXGroup>\n   <AXButton: \"OK\">\n");
    EXPECT_EQ(ui.copyValueOfExistingAttribute("lineage", nullptr), std::nullopt);
}

TEST_F(UIElementTest, LineageEndsOnLoopingDeepOrBrokenParentChains) {
    AXUIElementRef a = button(app, "A");
    AXUIElementRef b = button(app, "B");
    ax.setAttribute(a, "AXParent", b);
    ax.setAttribute(b, "AXParent", a);
    EXPECT_EQ(ui.lineageOfUIElement(a),
              (std::vector<std::string>{R"(<AXButton: "B">)", R"(<AXButton: "A">)"}));
    ax.setAttribute(a, "AXParent", a);
    EXPECT_EQ(ui.lineageOfUIElement(a).size(), 1u);

    AXUIElementRef deepest = app;
    for (int level = 0; level < 200; ++level)
        deepest = button(deepest, "level " + std::to_string(level));
    auto deep = ui.lineageOfUIElement(deepest);
    ASSERT_EQ(deep.size(), 64u);
    EXPECT_EQ(deep.back(), R"(<AXButton: "level 199">)");
    auto text = ui.lineageDescriptionOfUIElement(deepest);
    EXPECT_NE(text.find(std::string(63, ' ') + R"(<AXButton: "level 199">)" + "\n"), std::string::npos);

    AXUIElementRef orphan = button(app, "Orphan");
    ax.setAttribute(orphan, "AXParent", "not an element");
    EXPECT_EQ(ui.lineageOfUIElement(orphan), std::vector<std::string>{R"(<AXButton: "Orphan">)"});
}

TEST_F(UIElementTest, ValueOfAttributeReadsOnlyListedAttributes) {
    AXUIElementRef menuItem = ax.children(menu)[0];
    ax.setAttribute(menu, "AXSelectedChildren", AXArray{menuItem});
    ax.setAttribute(menu, "AXSecret", "hidden");
    ax.hideAttributeName(menu, "AXSecret");
    ax.clearRecords();

    auto selected = ui.valueOfAttribute("AXSelectedChildren", menu);
    ASSERT_TRUE(selected && selected->get<AXArray>());
    EXPECT_EQ(selected->get<AXArray>()->size(), 1u);
    EXPECT_EQ(ui.valueOfAttribute("AXSecret", menu), std::nullopt);
    EXPECT_EQ(ui.valueOfAttribute("", menu), std::nullopt);
    EXPECT_FALSE(wasRead("AXSecret"));
    EXPECT_FALSE(wasRead(""));

    ax.failAttribute(menu, "AXSelectedChildren", kAXErrorCannotComplete);
    EXPECT_EQ(ui.valueOfAttribute("AXSelectedChildren", menu), std::nullopt);
    ax.failAttributeNames(menuItem, kAXErrorFailure);
    ax.clearRecords();
    EXPECT_EQ(ui.valueOfAttribute("AXTitle", menuItem), std::nullopt);
    EXPECT_TRUE(ax.attributeReads().empty());
    EXPECT_EQ(ui.attributeNamesOfUIElement(menuItem), std::nullopt);
}

TEST_F(UIElementTest, HitTestFindsTheDeepestElementOfTheFrontMostWindow) {
    AXUIElementRef back = ax.addWindow(42, {.title = "Back", .frame = Rect{{0, 0}, {400, 300}}});
    AXUIElementRef field = ax.add(back, {.role = "AXTextField", .frame = Rect{{10, 10}, {100, 20}}});
    ax.addApplication(43, "Mail");
    AXUIElementRef front = ax.addWindow(43, {.title = "Front", .frame = Rect{{200, 100}, {400, 300}}});
    AXUIElementRef text = ax.add(front, {.role = "AXTextArea", .frame = Rect{{210, 110}, {300, 200}}});

    EXPECT_EQ(ui.copyUIElementAtXY(20, 15), field);
    EXPECT_EQ(ui.copyUIElementAtXY(110, 15), back); // the field's right edge is outside it
    EXPECT_EQ(ui.copyUIElementAtXY(250, 150), text);
    EXPECT_EQ(ui.copyUIElementAtXY(205, 105), front);
    EXPECT_EQ(ui.copyUIElementAtXY(700, 700), nullptr);
    ax.raiseWindow(back);
    EXPECT_EQ(ui.copyUIElementAtXY(250, 150), back);

    pointer.location = {20.4, 15.6};
    EXPECT_EQ(ui.copyUIElementAtMouse(), field);
    ax.setAPIEnabled(false);
    EXPECT_EQ(ui.copyUIElementAtMouse(), nullptr);
}

} // namespace
} // namespace quoddle
