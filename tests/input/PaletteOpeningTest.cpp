// Which gestures open the palette: a left press, a non-empty selection in the pressed application and the
// release, in either order, with nothing in between that empties what was seen.
#include "Preferences.h"
#include "SimFixture.h"

#include <functional>

namespace quoddle {
namespace {

class PaletteOpening : public TextEditScene {
public:
    void press(Point at = {200, 200}) {
        desktop.moveMouseTo(at);
        desktop.pressLeftButton();
    }
    void select(long length, ax::ElementRef target = nullptr) {
        if (!target) target = textArea;
        ax().focus(target);
        ax().selectText(target, ax::RangeValue{3, length});
    }
};

struct Gesture {
    const char* name;
    std::function<void(PaletteOpening&)> perform;
    bool opens;
};

class Gestures : public PaletteOpening, public ::testing::WithParamInterface<Gesture> {};

TEST_P(Gestures, OpenThePaletteOrNot) {
    GetParam().perform(*this);
    EXPECT_EQ(paletteShown(), GetParam().opens);
}

// Each row is a person's input at the simulated desktop, in order.
const Gesture kGestures[] = {
    {"DragThenRelease", [](PaletteOpening& t) { t.dragSelect(); }, true},
    {"SelectionReportedAfterTheRelease",
     [](PaletteOpening& t) {
         t.press();
         t.desktop.releaseLeftButton();
         t.select(5);
     },
     true},
    {"PlainClick",
     [](PaletteOpening& t) {
         t.press();
         t.desktop.releaseLeftButton();
     },
     false},
    {"StillPressed",
     [](PaletteOpening& t) {
         t.press();
         t.select(5);
     },
     false},
    {"SelectionShrunkToACaretBeforeTheRelease",
     [](PaletteOpening& t) {
         t.press();
         t.select(5);
         t.select(0);
         t.desktop.releaseLeftButton();
     },
     false},
    {"KeyDuringTheDrag",
     [](PaletteOpening& t) {
         t.press();
         t.select(5);
         t.desktop.pressKey();
         t.desktop.releaseLeftButton();
     },
     false},
    {"RightButtonDuringTheDrag",
     [](PaletteOpening& t) {
         t.press();
         t.select(5);
         t.desktop.pressRightButton();
         t.desktop.releaseLeftButton();
     },
     false},
    {"OtherButtonDuringTheDrag",
     [](PaletteOpening& t) {
         t.press();
         t.select(5);
         t.desktop.pressOtherButton();
         t.desktop.releaseLeftButton();
     },
     false},
    {"AnotherApplicationActivatedDuringTheDrag",
     [](PaletteOpening& t) {
         t.press();
         t.select(5);
         t.desktop.workspace.activate(t.notes.processIdentifier);
         t.desktop.releaseLeftButton();
     },
     false},
    {"PressInABackgroundApplicationThatActivatesIt",
     [](PaletteOpening& t) {
         t.press({1100, 200});
         t.desktop.workspace.activate(t.notes.processIdentifier);
         t.select(5, t.notesText);
         t.desktop.releaseLeftButton();
     },
     true},
    {"PressInABackgroundApplicationActivatedByWayOfNone",
     [](PaletteOpening& t) {
         t.press({1100, 200});
         t.desktop.workspace.deactivateAll();
         t.desktop.workspace.activate(t.notes.processIdentifier);
         t.select(5, t.notesText);
         t.desktop.releaseLeftButton();
     },
     true},
    {"AnotherApplicationActivatedByWayOfNone",
     [](PaletteOpening& t) {
         t.press();
         t.select(5);
         t.desktop.workspace.deactivateAll();
         t.desktop.workspace.activate(t.notes.processIdentifier);
         t.desktop.releaseLeftButton();
     },
     false},
    {"ADragAcrossParagraphsEndsWithAReportFromTheOneItLeft",
     [](PaletteOpening& t) {
         // Two paragraphs of a document, each focused while it holds the caret.
         ax::ElementRef window = t.ax().children(t.ax().application(t.textEdit.processIdentifier)).back();
         ax::ElementRef first =
             t.ax().add(window, {.role = ax::Role::staticText, .frame = Rect{{120, 600}, {300, 20}}});
         ax::ElementRef second =
             t.ax().add(window, {.role = ax::Role::staticText, .frame = Rect{{120, 620}, {300, 20}}});
         t.press({150, 610});
         t.select(5, first);
         t.select(7, second);
         t.ax().selectText(first, ax::RangeValue{0, 9});
         t.desktop.releaseLeftButton();
     },
     true},
    {"KeyboardSelectionWithoutAPress", [](PaletteOpening& t) { t.select(5); }, false},
    {"SelectionInABackgroundApplication",
     [](PaletteOpening& t) {
         t.press();
         t.select(5, t.notesText);
         t.desktop.releaseLeftButton();
     },
     false},
    {"SelectionOfAnUnfocusedElement",
     [](PaletteOpening& t) {
         t.press();
         t.select(5);
         t.ax().setAttribute(t.textArea, ax::Attribute::focused, false);
         t.ax().selectText(t.textArea, ax::RangeValue{3, 6});
         t.desktop.releaseLeftButton();
     },
     false},
    {"DoubleClickOnAWord",
     [](PaletteOpening& t) {
         t.press();
         t.desktop.releaseLeftButton();
         t.press();
         t.select(4);
         t.desktop.releaseLeftButton();
     },
     true},
    {"PressOnAnImage",
     [](PaletteOpening& t) {
         t.press({780, 180});
         t.select(5);
         t.desktop.releaseLeftButton();
     },
     false},
    {"PressOnNothing",
     [](PaletteOpening& t) {
         t.press({50, 50});
         t.select(5);
         t.desktop.releaseLeftButton();
     },
     false},
    {"TextMarkersThatDiffer",
     [](PaletteOpening& t) {
         t.press();
         t.ax().selectTextMarkers(t.textArea,
                                  "{length = 24, bytes = 0x0a00} ... {length = 24, bytes = 0x0f00}");
         t.desktop.releaseLeftButton();
     },
     true},
    {"TextMarkersThatAreOneCaret",
     [](PaletteOpening& t) {
         t.press();
         t.ax().selectTextMarkers(t.textArea,
                                  "{length = 24, bytes = 0x0a00} ... {length = 24, bytes = 0x0a00}");
         t.desktop.releaseLeftButton();
     },
     false},
};

INSTANTIATE_TEST_SUITE_P(AtTheDesktop, Gestures, ::testing::ValuesIn(kGestures),
                         [](const auto& info) { return std::string(info.param.name); });

struct Explained {
    const char* name;
    std::function<void(PaletteOpening&)> perform;
    const char* line; // null: no line
};

class Explanations : public PaletteOpening, public ::testing::WithParamInterface<Explained> {};

// The verbose log says, once per press, why a selection opened no palette, and says nothing otherwise.
TEST_P(Explanations, SayWhyASelectionOpenedNoPalette) {
    desktop.defaultsStore.set(preference::blacklist, "Notes\n");
    const RunningApplication blacklisted = desktop.launch("Notes", "com.apple.Notes2");
    ax::ElementRef window =
        ax().addWindow(blacklisted.processIdentifier, {.frame = Rect{{0, 700}, {300, 100}}});
    ax().add(window, {.role = ax::Role::textArea, .frame = Rect{{0, 700}, {300, 100}}});
    GetParam().perform(*this);
    EXPECT_EQ(desktop.appServices.explanations,
              GetParam().line ? std::vector<std::string>{GetParam().line} : std::vector<std::string>{});
}

const Explained kExplained[] = {
    {"Opened", [](PaletteOpening& t) { t.dragSelect(); }, nullptr},
    {"PlainClick",
     [](PaletteOpening& t) {
         t.press();
         t.desktop.releaseLeftButton();
     },
     nullptr},
    {"PressOnNothing",
     [](PaletteOpening& t) {
         t.press({50, 50});
         t.select(5);
         t.select(6);
         t.desktop.releaseLeftButton();
     },
     "no palette: nothing accessible was under the pointer at the press"},
    {"AnotherApplication",
     [](PaletteOpening& t) {
         t.press();
         t.select(5, t.notesText);
         t.desktop.releaseLeftButton();
     },
     "no palette: the selection changed in another application than the one pressed"},
    {"NotFocused",
     [](PaletteOpening& t) {
         t.press();
         t.ax().selectText(t.textArea, ax::RangeValue{3, 6});
         t.desktop.releaseLeftButton();
     },
     "no palette: the selected text is in an element that does not have the focus"},
    {"FocusedAfterAnUnfocusedReport",
     [](PaletteOpening& t) {
         t.press();
         t.ax().selectText(t.textArea, ax::RangeValue{3, 6});
         t.select(6);
         t.desktop.releaseLeftButton();
     },
     nullptr},
    {"PressedImage",
     [](PaletteOpening& t) {
         t.press({780, 180});
         t.select(5, t.image);
         t.desktop.releaseLeftButton();
     },
     "no palette: the press was on an image"},
    {"OutsideThePressedTextControl",
     [](PaletteOpening& t) {
         t.press({780, 180});
         t.select(5);
         t.desktop.releaseLeftButton();
     },
     "no palette: the selection is not in the text field that was pressed"},
    {"Blacklisted",
     [](PaletteOpening& t) {
         t.press({100, 750});
         t.desktop.releaseLeftButton();
     },
     "no palette: Notes is on the blacklist"},
    {"NothingToShow",
     [](PaletteOpening& t) {
         t.desktop.defaultsStore.set(preference::shortcutText, "");
         t.dragSelect();
     },
     "no palette: it would have no buttons"},
};

INSTANTIATE_TEST_SUITE_P(VerboseLog, Explanations, ::testing::ValuesIn(kExplained),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PaletteOpening, InATextControlTheSelectionMustBeInThePressedElement) {
    // A second text field of the same window, elsewhere: pressing one and selecting in the other opens
    // nothing.
    ax::ElementRef field = ax().add(ax().children(ax().application(textEdit.processIdentifier)).back(),
                                    {.role = ax::Role::textField, .frame = Rect{{120, 600}, {300, 20}}});
    press();
    select(5, field);
    desktop.releaseLeftButton();
    EXPECT_FALSE(paletteShown());
    // Elements of other roles are not compared.
    ax().setAttribute(textArea, ax::Attribute::role, ax::Role::staticText);
    ax().setAttribute(field, ax::Attribute::role, ax::Role::webArea);
    press();
    select(5, field);
    desktop.releaseLeftButton();
    EXPECT_TRUE(paletteShown());
}

TEST_F(PaletteOpening, OneSelectionOpensOnceBesideThePointerAndTheTitlesAreReadThen) {
    EXPECT_EQ(quoddle().knownServiceTitleCount(), 0u);
    dragSelect();
    ASSERT_TRUE(paletteShown());
    EXPECT_EQ(quoddle().knownServiceTitleCount(), 2u);
    const Rect opened = desktop.palette.frame();
    // A further report of the same selection neither moves nor rebuilds the open palette.
    desktop.moveMouseTo({230, 210});
    ax().selectText(textArea, ax::RangeValue{3, 7});
    desktop.releaseLeftButton();
    EXPECT_EQ(desktop.palette.frame(), opened);
    // Showing emptied what was seen: after hiding it, the same selection does not open it again.
    desktop.pressKey();
    ax().selectText(textArea, ax::RangeValue{3, 8});
    desktop.releaseLeftButton();
    EXPECT_FALSE(paletteShown());
}

TEST_F(PaletteOpening, APressInThePaletteKeepsItAndAPressElsewhereHidesIt) {
    dragSelect();
    ASSERT_TRUE(paletteShown());
    const Rect frame = desktop.palette.frame();
    const Point inside = desktop.pointer.eventPointOfScreenPoint({frame.minX() + 10, frame.maxY() - 10});
    desktop.moveMouseTo(inside);
    desktop.pressLeftButton();
    EXPECT_TRUE(paletteShown());
    desktop.moveMouseTo({1300, 850});
    desktop.runLoop.advance(std::chrono::milliseconds(200));
    EXPECT_TRUE(paletteShown()) << "the pointer may leave while the button is held in the palette";
    desktop.releaseLeftButton();
    press();
    EXPECT_FALSE(paletteShown());
}

TEST_F(PaletteOpening, ATapTheWindowSystemStopsComesBack) {
    dragSelect();
    EXPECT_TRUE(paletteShown());
    desktop.pressKey();
    desktop.eventTaps.disableTap(InputEventType::tapDisabledByTimeout);
    desktop.runLoop.runPending();
    EXPECT_EQ(desktop.appServices.logLines.back(), "Quoddle passive kCGEventTapDisabledByTimeout -2");
    dragSelect();
    EXPECT_TRUE(paletteShown()) << "re-enabled";
    desktop.pressKey();

    const int tapsBefore = desktop.eventTaps.tapsCreated;
    desktop.eventTaps.disableTap(InputEventType::tapDisabledByUserInput);
    desktop.runLoop.runPending();
    EXPECT_EQ(desktop.appServices.logLines.back(), "Quoddle passive kCGEventTapDisabledByUserInput -1");
    EXPECT_EQ(desktop.eventTaps.tapsCreated, tapsBefore + 1) << "a new tap";
    dragSelect();
    EXPECT_TRUE(paletteShown());
}

} // namespace
} // namespace quoddle
