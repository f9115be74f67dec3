// Which gestures open the palette: a left press, a non-empty selection in the pressed application and the
// release, in either order, with nothing in between that empties what was seen. When a press opens none, the
// verbose log says why, once, unless there is no answer yet.
#include "Preferences.h"
#include "SimFixture.h"

#include <functional>

namespace quoddle {
namespace {

class PaletteOpening : public TextEditScene {
public:
    void SetUp() override {
        TextEditScene::SetUp();
        // A second text field and two paragraphs of a document in TextEdit's window, and an application on
        // the blacklist, launched once the blacklist names it.
        ax::ElementRef window = ax().children(ax().application(textEdit.processIdentifier)).back();
        field = ax().add(window, {.role = ax::Role::textField, .frame = Rect{{120, 560}, {300, 20}}});
        for (double y : {600, 620})
            paragraphs.push_back(
                ax().add(window, {.role = ax::Role::staticText, .frame = Rect{{120, y}, {300, 20}}}));
        desktop.defaultsStore.set(preference::blacklist, "Blocked\n");
        const RunningApplication blocked = desktop.launch("Blocked", "org.example.Blocked");
        ax().add(ax().addWindow(blocked.processIdentifier, {.frame = Rect{{0, 700}, {300, 100}}}),
                 {.role = ax::Role::textArea, .frame = Rect{{0, 700}, {300, 100}}});
    }

    ax::ElementRef field;
    std::vector<ax::ElementRef> paragraphs;
};

// A person's input at the simulated desktop: presses and selections are in TextEdit's text area unless the
// step names another place.
using P = PaletteOpening;
using Step = std::function<void(P&)>;
const Step press = [](P& t) { t.pressAt({200, 200}); };
const Step pressInNotes = [](P& t) { t.pressAt({1100, 200}); }; // Notes is in the background
const Step pressOnImage = [](P& t) { t.pressAt({780, 180}); };
const Step pressOnNothing = [](P& t) { t.pressAt({50, 50}); };
const Step pressOnParagraph = [](P& t) { t.pressAt({150, 610}); };
const Step pressInBlacklisted = [](P& t) { t.pressAt({100, 750}); };
const Step release = [](P& t) { t.desktop.releaseLeftButton(); };
const Step key = [](P& t) { t.desktop.pressKey(); };
const Step rightButton = [](P& t) { t.desktop.pressRightButton(); };
const Step otherButton = [](P& t) { t.desktop.pressOtherButton(); };
const Step activateNotes = [](P& t) { t.desktop.workspace.activate(t.notes.processIdentifier); };
// Some window managers pass through no active application on the way to the next one.
const Step deactivateAll = [](P& t) { t.desktop.workspace.deactivateAll(); };
const Step select = [](P& t) { t.selectIn(t.textArea, 5); };
const Step selectCaret = [](P& t) { t.selectIn(t.textArea, 0); };
const Step selectInNotes = [](P& t) { t.selectIn(t.notesText, 5); };
const Step selectInField = [](P& t) { t.selectIn(t.field, 5); };
// Each paragraph holds the caret and the focus in turn; the one left reports its part last, unfocused.
const Step selectAcrossParagraphs = [](P& t) {
    t.selectIn(t.paragraphs[0], 5);
    t.selectIn(t.paragraphs[1], 7);
    t.ax().selectText(t.paragraphs[0], ax::RangeValue{0, 9});
};
const Step reportWithoutFocus = [](P& t) { t.ax().selectText(t.textArea, ax::RangeValue{3, 6}); };
const Step unfocus = [](P& t) { t.ax().setAttribute(t.textArea, ax::Attribute::focused, false); };
const Step selectMarkers = [](P& t) {
    t.ax().selectTextMarkers(t.textArea, "{length = 24, bytes = 0x0a00} ... {length = 24, bytes = 0x0f00}");
};
const Step selectCaretMarkers = [](P& t) {
    t.ax().selectTextMarkers(t.textArea, "{length = 24, bytes = 0x0a00} ... {length = 24, bytes = 0x0a00}");
};
const Step otherRoles = [](P& t) {
    t.ax().setAttribute(t.textArea, ax::Attribute::role, ax::Role::staticText);
    t.ax().setAttribute(t.field, ax::Attribute::role, ax::Role::webArea);
};
const Step noShortcuts = [](P& t) { t.desktop.defaultsStore.set(preference::shortcutText, ""); };

struct Gesture {
    const char* name;
    std::vector<Step> steps;
    bool opens;
    std::vector<std::string> explanations = {}; // what the verbose log says: one line at most
};

class Gestures : public PaletteOpening, public ::testing::WithParamInterface<Gesture> {};

TEST_P(Gestures, OpenThePaletteOrSayWhyNot) {
    for (const Step& step : GetParam().steps)
        step(*this);
    EXPECT_EQ(paletteShown(), GetParam().opens);
    EXPECT_EQ(desktop.appServices.explanations, GetParam().explanations);
}

const char* const kInAnotherApplication =
    "no palette: the selection changed in another application than the one pressed";
const char* const kNothingPressed = "no palette: nothing accessible was under the pointer at the press";
const char* const kUnfocused = "no palette: the selected text is in an element that does not have the focus";
const char* const kPressedImage = "no palette: the press was on an image";
const char* const kOutsideThePressedControl =
    "no palette: the selection is not in the text field that was pressed";

const Gesture kGestures[] = {
    {"DragThenRelease", {press, select, release}, true},
    {"SelectionReportedAfterTheRelease", {press, release, select}, true},
    {"DoubleClickOnAWord", {press, release, press, select, release}, true},
    {"PlainClick", {press, release}, false},
    {"StillPressed", {press, select}, false},
    {"StillPressedAfterAClick", {press, release, press, select}, false}, // the first release is over
    {"KeyboardSelectionWithoutAPress", {select}, false},
    {"SelectionShrunkToACaretBeforeTheRelease", {press, select, selectCaret, release}, false},
    {"KeyDuringTheDrag", {press, select, key, release}, false},
    {"RightButtonDuringTheDrag", {press, select, rightButton, release}, false},
    {"OtherButtonDuringTheDrag", {press, select, otherButton, release}, false},
    {"AnotherApplicationActivatedDuringTheDrag", {press, select, activateNotes, release}, false},
    {"AnotherApplicationActivatedByWayOfNone", {press, select, deactivateAll, activateNotes, release}, false},
    {"BackgroundPressThatActivates", {pressInNotes, activateNotes, selectInNotes, release}, true},
    {"BackgroundPressViaNone", {pressInNotes, deactivateAll, activateNotes, selectInNotes, release}, true},
    {"SelectionInABackgroundApplication", {press, selectInNotes, release}, false, {kInAnotherApplication}},
    {"PressOnNothing", {pressOnNothing, select, select, release}, false, {kNothingPressed}},
    {"SelectionWithoutTheFocus", {press, reportWithoutFocus, release}, false, {kUnfocused}},
    {"FocusedAfterAReportWithoutIt", {press, reportWithoutFocus, select, release}, true},
    {"SelectionWithoutTheFocusReportedAfterTheRelease",
     {press, release, reportWithoutFocus},
     false,
     {kUnfocused}},
    {"BackgroundSelectionAfterTheRelease", {press, release, selectInNotes}, false, {kInAnotherApplication}},
    {"SelectionThatLostTheFocus", {press, select, unfocus, reportWithoutFocus, release}, false, {kUnfocused}},
    {"ADragAcrossParagraphs", {pressOnParagraph, selectAcrossParagraphs, release}, true},
    // A press on an image opens none, whatever is selected; in a text control the selection must lie in the
    // element pressed, and elements of other roles are not compared.
    {"SelectionBesideThePressedImage", {pressOnImage, select, release}, false, {kPressedImage}},
    {"SelectionInAnotherTextField", {press, selectInField, release}, false, {kOutsideThePressedControl}},
    {"SelectionInAnotherElementOfOtherRoles", {otherRoles, press, selectInField, release}, true},
    {"TextMarkersThatDiffer", {press, selectMarkers, release}, true},
    {"TextMarkersThatAreOneCaret", {press, selectCaretMarkers, release}, false},
    {"Blacklisted", {pressInBlacklisted, release}, false, {"no palette: Blocked is on the blacklist"}},
    {"NothingToShow", {noShortcuts, press, select, release}, false, {"no palette: it would have no buttons"}},
};

INSTANTIATE_TEST_SUITE_P(AtTheDesktop, Gestures, ::testing::ValuesIn(kGestures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PaletteOpening, OneSelectionOpensItOnceAndShowingEmptiesWhatWasSeen) {
    dragSelect();
    ASSERT_TRUE(paletteShown());
    const Rect opened = desktop.palette.frame();
    // A further report of the same selection neither moves nor rebuilds the open palette.
    desktop.moveMouseTo({230, 210});
    ax().selectText(textArea, ax::RangeValue{3, 7});
    desktop.releaseLeftButton();
    EXPECT_EQ(desktop.palette.frame(), opened);
    // Showing emptied what was seen: once the pointer has wandered off, the same selection does not open it.
    desktop.moveMouseTo({1300, 850});
    desktop.runLoop.advance(std::chrono::milliseconds(200));
    ASSERT_FALSE(paletteShown());
    ax().selectText(textArea, ax::RangeValue{3, 8});
    desktop.releaseLeftButton();
    EXPECT_FALSE(paletteShown());
}

TEST_F(PaletteOpening, APressHeldInThePaletteKeepsItAndAPressElsewhereHidesIt) {
    dragSelect();
    const Rect frame = desktop.palette.frame();
    pressAt(desktop.pointer.eventPointOfScreenPoint({frame.minX() + 10, frame.maxY() - 10}));
    desktop.moveMouseTo({1300, 850});
    desktop.runLoop.advance(std::chrono::milliseconds(200));
    EXPECT_TRUE(paletteShown()) << "the pointer may leave while the button is held in the palette";
    desktop.releaseLeftButton();
    press(*this);
    EXPECT_FALSE(paletteShown());
}

TEST_F(PaletteOpening, ATapTheWindowSystemStopsComesBack) {
    for (InputEventType reason :
         {InputEventType::tapDisabledByTimeout, InputEventType::tapDisabledByUserInput}) {
        desktop.eventTaps.disableTap(reason);
        desktop.runLoop.runPending();
        dragSelect();
        EXPECT_TRUE(paletteShown()) << static_cast<int>(reason);
        desktop.pressKey();
    }
}

} // namespace
} // namespace quoddle
