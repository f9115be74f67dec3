// X11 against the test display's server: the key-code translation table, the keysym-to-character
// conversion and the keyboard layout port over them (the table checked by its properties and by the
// positions the default shortcuts and the menus rely on, not entry by entry); the recorded input, the input
// tap over it and the key poster, and what a shortcut's key stroke does in a terminal, where other
// applications' editing keys are signals; reading PRIMARY; and top-level window queries, window property
// reading and the active-window watch, which hold with and without a window manager: positions are read back
// from the server, never assumed. That a drag opens the palette and a button posts its keys is the desktop
// tier's.
#include "platform/linux/RecordingAppServices.h"
#include "platform/linux/ShortcutStrokes.h"
#include "platform/linux/services/PrimarySelection.h"
#include "platform/linux/x11/KeyCodeTranslation.h"
#include "platform/linux/x11/X11ActiveWindowWatch.h"
#include "platform/linux/x11/X11KeyPoster.h"
#include "platform/linux/x11/X11KeyboardLayout.h"
#include "platform/linux/x11/X11Windows.h"
#include "platform/linux/x11/XRecordEventTaps.h"
#include "platform/linux/x11/XRecordInput.h"
#include "support/KeyboardTables.h"

#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include "platform/linux/X11TestSession.h"

#include <X11/keysym.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace quoddle {
namespace {

using namespace mac_vk;
using namespace std::chrono_literals;
using test::spinUntil;
using testing::XWindow;
using Kind = InputEvent::Kind;
using Type = InputEventType;

// A connection to the test display, and windows of the test's own on it, destroyed at its end; without a
// display the test skips.
class OnTheTestDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        if (!(display_ = testing::openTestDisplay())) GTEST_SKIP() << "no display";
        test::qtApplication();
    }
    ~OnTheTestDisplay() override {
        for (XWindow window : windows_)
            XDestroyWindow(display(), window);
        if (display_) XSync(display(), False);
    }
    Display* display() const { return display_.get(); }
    // A window manager may place a managed window elsewhere: the tests read positions back.
    XWindow createWindow(int x, int y, int width, int height, bool overrideRedirect) {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = overrideRedirect ? True : False;
        return windows_.emplace_back(XCreateWindow(display(), DefaultRootWindow(display()), x, y, width,
                                                   height, 0, CopyFromParent, InputOutput, CopyFromParent,
                                                   CWOverrideRedirect, &attributes));
    }

    DisplayHandle display_;
    std::vector<XWindow> windows_;
};

void setCardinal(Display* display, XWindow window, const char* property, unsigned long value) {
    const long data = static_cast<long>(value);
    XChangeProperty(display, window, XInternAtom(display, property, False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&data), 1);
}

void setText(Display* display, XWindow window, const char* property, const std::string& bytes,
             const char* type = "UTF8_STRING") {
    XChangeProperty(display, window, XInternAtom(display, property, False), XInternAtom(display, type, False),
                    8, PropModeReplace, reinterpret_cast<const unsigned char*>(bytes.data()),
                    static_cast<int>(bytes.size()));
}

// The macOS codes with no key on a PC keyboard or no meaning; every other code up to 0x7E has a key.
const std::set<std::uint16_t> kUnmapped{0x34, kVK_Function, 0x42, 0x44, 0x46, 0x4D, 0x6C, 0x70};

TEST(KeyCodeTranslation, TheTableIsCompleteOneToOneAndKeysSitWhereAPcKeyboardHasThem) {
    // Held modifiers are the eight of both hands; Caps Lock locks and is none of them.
    const std::set<std::uint16_t> modifiers{kVK_Command,     kVK_Shift,        kVK_Option,
                                            kVK_Control,     kVK_RightCommand, kVK_RightShift,
                                            kVK_RightOption, kVK_RightControl};
    std::set<std::uint16_t> keycodes;
    for (const MacKeyMapping& mapping : macKeyMappings()) {
        EXPECT_GE(mapping.xKeycode, 8) << mapping.name << ": X keycodes start at 8";
        EXPECT_TRUE(keycodes.insert(mapping.xKeycode).second)
            << mapping.name << ": two codes at one position";
        EXPECT_EQ(mapping.isModifier, modifiers.count(mapping.macKey) == 1) << mapping.name;
    }
    for (std::uint32_t code = 0; code <= 0xFFFF; ++code) {
        const auto key = static_cast<std::uint16_t>(code);
        const MacKeyMapping* mapping = macKeyMapping(key);
        ASSERT_EQ(mapping != nullptr, code <= 0x7E && !kUnmapped.count(key)) << "code " << code;
        ASSERT_EQ(xKeycodeForMacKey(key), mapping ? std::optional(mapping->xKeycode) : std::nullopt)
            << "code " << code;
        ASSERT_TRUE(!mapping || mapping->macKey == key) << "code " << code;
    }
    // The keys of the default shortcuts and of menu navigation, at their evdev positions.
    const std::pair<std::uint16_t, std::uint8_t> positions[] = {
        {kVK_ANSI_A, 38},  {kVK_ANSI_C, 54}, {kVK_ANSI_V, 55},         {kVK_ANSI_X, 53},   {kVK_ANSI_Z, 52},
        {kVK_Control, 37}, {kVK_Shift, 50},  {kVK_Option, 64},         {kVK_Command, 133}, {kVK_Return, 36},
        {kVK_Escape, 9},   {kVK_Delete, 22}, {kVK_ForwardDelete, 119}, {kVK_Help, 118},    {kVK_ANSI_1, 10}};
    for (const auto& [key, keycode] : positions)
        EXPECT_EQ(xKeycodeForMacKey(key), keycode) << macKeyMapping(key)->name;
}

// Latin-1 and Unicode keysyms in the Basic Multilingual Plane type their character, and so do the
// keypad's digits and operators; control characters, surrogates, dead keys and the rest type none.
TEST(KeysymCharacters, LatinUnicodeAndKeypadKeysymsTypeOneUnitAndOthersNone) {
    const std::optional<char16_t> kNone;
    const std::pair<unsigned long, std::optional<char16_t>> cases[] = {
        {XK_space, u' '},       {XK_asciitilde, u'~'}, {0x7f, kNone},           {XK_ydiaeresis, u'\u00ff'},
        {0x10020ac, u'\u20ac'}, {0x1000009, kNone},    {0x1000085, kNone},      {0x100d800, kNone},
        {0x101f600, kNone},     {XK_KP_9, u'9'},       {XK_KP_Separator, u','}, {XK_KP_Enter, kNone},
        {XK_dead_acute, kNone}, {XK_Shift_L, kNone},   {0x6c1, kNone}};
    for (const auto& [keysym, character] : cases)
        EXPECT_EQ(characterOfKeysym(keysym), character) << std::hex << "keysym 0x" << keysym;
}

TEST(X11KeyboardLayout, TypesTheUsCharactersOnTheMainKeysOnly) {
    DisplayHandle display = testing::openTestDisplay();
    // Rules, model, layout, variant and options, NUL-separated, as the server was configured.
    const std::optional<std::string> names =
        display ? readTextProperty(display.get(), DefaultRootWindow(display.get()), "_XKB_RULES_NAMES")
                : std::nullopt;
    if (!names || !names->starts_with(std::string("evdev\0", 6)) ||
        names->find(std::string("\0us\0\0", 5)) == std::string::npos)
        GTEST_SKIP() << "needs a display with the plain US layout of the evdev rules";
    X11KeyboardLayout layout(display.get());
    EXPECT_EQ(layout.characterForKeyCode(kVK_ANSI_A), u'a');
    EXPECT_EQ(layout.characterForKeyCode(kVK_ANSI_Grave), u'`');
    EXPECT_EQ(layout.characterForKeyCode(kVK_ANSI_KeypadMinus), std::nullopt) << "a key of its own";
    EXPECT_EQ(layout.characterForKeyCode(kVK_Return), std::nullopt);

    // What the core's table makes of it: a "char" line's character finds the main key.
    KeyboardTables tables(layout);
    EXPECT_EQ(tables.keyCodeTyping("c"), kVK_ANSI_C);
    EXPECT_EQ(tables.keyCodeTyping("-"), kVK_ANSI_Minus) << "not the keypad's, which has the higher code";
    EXPECT_EQ(tables.keyCodeTyping("'"), kVK_ANSI_Quote);
    EXPECT_EQ(tables.keyCodeTyping("\xc3\xa9"), std::nullopt) << "no US key types é";
}

TEST(X11KeyPoster, WithoutAServerPostsNothingAndSaysSo) {
    X11KeyPoster withoutXTest(nullptr);
    EXPECT_EQ(withoutXTest.postKey(mac_vk::kVK_ANSI_A, true), ax::Error::cannotComplete);
    EXPECT_EQ(withoutXTest.postKey(0x34, true), ax::Error::illegalArgument)
        << "no such key, whatever the server";
}

// Input posted on the test display lands on a window of the test's own that has the focus, so nothing
// else on the display reacts to it.
class RecordedInput : public OnTheTestDisplay {
protected:
    void SetUp() override {
        OnTheTestDisplay::SetUp();
        if (IsSkipped()) return;
        const testing::XWindow target = createWindow(100, 100, 400, 300, true);
        XMapRaised(display(), target);
        XSync(display(), False);
        ASSERT_TRUE(test::spinUntil([&] { return testing::isViewable(display(), target); }));
        XSetInputFocus(display(), target, RevertToPointerRoot, CurrentTime);
        XSync(display(), False);
        ASSERT_TRUE(input.start());
        input.addListener([this](const InputEvent& e) { seen.push_back(e); });
    }

    // Each returns once the server has processed the press and the release.
    template <auto fake> void pressAndRelease(unsigned code) {
        fake(display(), code, True, CurrentTime);
        fake(display(), code, False, CurrentTime);
        XSync(display(), False);
    }
    void click(unsigned button) { pressAndRelease<XTestFakeButtonEvent>(button); }
    void type(unsigned keycode) { pressAndRelease<XTestFakeKeyEvent>(keycode); }
    bool seenReach(std::size_t count) {
        return test::spinUntil([&] { return seen.size() >= count; });
    }

    XRecordInput input;
    std::vector<InputEvent> seen;
};

TEST_F(RecordedInput, InputThatReachesNoClientStillArrivesAndDrainBringsItAtOnce) {
    // A first key makes XTest's keyboard the device in use: switching devices sends clients (Qt among
    // them) a device-change event, which would make the server flush for a reason of its own.
    type(38);
    input.drain();
    ASSERT_EQ(seen.size(), 2u) << "drain() hands over what the server has processed before it returns";
    // The focused test window asks for no keys, and nothing here waits for the server: it has no other
    // reason to send anything to anyone.
    XTestFakeKeyEvent(display(), 38, True, CurrentTime);
    XTestFakeKeyEvent(display(), 38, False, CurrentTime);
    XFlush(display());
    EXPECT_TRUE(seenReach(4)) << seen.size() << " events";
}

void recordType(Type type, void* log) {
    static_cast<std::vector<Type>*>(log)->push_back(type);
}

// Buttons 4 to 7 are wheel steps, no presses; releases other than the left button's and of keys say
// nothing. A second tap that listens for left presses only hears the same input through its mask.
TEST_F(RecordedInput, TapsDeliverTheirMaskWhileEnabledAndReportABrokenRecording) {
    XRecordEventTaps taps(input);
    std::vector<Type> log, leftOnly;
    const InputEventMask mask = maskOf(Type::leftButtonDown) | maskOf(Type::leftButtonUp) |
                                maskOf(Type::rightButtonDown) | maskOf(Type::otherButtonDown) |
                                maskOf(Type::keyDown);
    std::unique_ptr<InputTap> tap = taps.createListenOnlyTap(mask, &recordType, &log);
    std::unique_ptr<InputTap> leftTap =
        taps.createListenOnlyTap(maskOf(Type::leftButtonDown), &recordType, &leftOnly);
    ASSERT_TRUE(tap && leftTap);
    std::unique_ptr<RunLoopSource> source = tap->createRunLoopSource(),
                                   leftSource = leftTap->createRunLoopSource();
    leftSource->addToRunLoop();
    click(1); // before the source is on the run loop: not delivered
    ASSERT_TRUE(seenReach(2));
    source->addToRunLoop();
    for (unsigned button : {2, 3, 4, 7, 8, 1})
        click(button);
    type(38);
    ASSERT_TRUE(seenReach(16));
    tap->enable(false);
    click(1);
    ASSERT_TRUE(seenReach(18));
    tap->enable(true);
    // Paused, the release goes unheard (no selection ends in a palette), the press does not.
    taps.setPaused(true);
    click(1);
    ASSERT_TRUE(seenReach(20));
    taps.setPaused(false);
    EXPECT_EQ(log, (std::vector<Type>{Type::otherButtonDown, Type::rightButtonDown, Type::otherButtonDown,
                                      Type::leftButtonDown, Type::leftButtonUp, Type::keyDown,
                                      Type::leftButtonDown}));
    EXPECT_EQ(leftOnly, std::vector<Type>(4, Type::leftButtonDown));
    leftSource.reset();

    // Another client cuts the connection that owns the recording (as xkill would).
    XKillClient(display(), input.recordingContext());
    XSync(display(), False);
    ASSERT_TRUE(test::spinUntil([&] { return log.size() == 8; }));
    EXPECT_EQ(log.back(), Type::tapDisabledByUserInput);
    EXPECT_FALSE(input.isRecording());
    // What the core does then: a new tap, which starts the recording again.
    source.reset();
    tap = taps.createListenOnlyTap(mask, &recordType, &log);
    ASSERT_TRUE(tap);
    source = tap->createRunLoopSource();
    source->addToRunLoop();
    click(1);
    ASSERT_TRUE(test::spinUntil([&] { return log.size() >= 10; }));
    EXPECT_EQ(std::vector<Type>(log.begin() + 8, log.end()),
              (std::vector<Type>{Type::leftButtonDown, Type::leftButtonUp}));
}

// The keys as the server saw them tell what was held when: a modifier left down would show as a press
// without its release.
TEST_F(RecordedInput, PosterPostsStrokesAndReleasesWhatItHoldsWhenAStepFails) {
    DisplayHandle posterDisplay = openDisplay();
    {
        X11KeyPoster poster(posterDisplay.get());
        EXPECT_EQ(poster.postStroke(KeyStroke{{kVK_Control}, kVK_ANSI_C}), ax::Error::success);
        // Shift held, then a step that cannot be posted: Shift goes up with it.
        EXPECT_EQ(poster.postStroke(KeyStroke{{kVK_Shift}, 0x34}), ax::Error::illegalArgument);
        EXPECT_TRUE(poster.heldModifiers().empty());
        // A poster that goes away lets go of what it holds.
        EXPECT_EQ(poster.postKey(kVK_Control, true), ax::Error::success);
    }
    input.drain();
    std::string keys; // keycodes, + down, - up
    for (const InputEvent& e : seen)
        keys += (e.kind == Kind::keyPress ? " +" : " -") + std::to_string(e.detail);
    EXPECT_EQ(keys, " +37 +54 -54 -37 +50 -50 +37 -37") << "Control, c; Shift; Control";
    ASSERT_GE(seen.size(), 2u);
    EXPECT_NE(seen[1].state & ControlMask, 0u) << "c went with Control held";
    EXPECT_EQ(seen[1].keysym, static_cast<unsigned long>(XK_c));
}

// What a shortcut's stroke does in a terminal, where other applications' editing keys are signals: keys
// of a layout of the test's own, no display needed.
constexpr std::uint16_t kC = 8, kX = 7, kV = 9, kA = 0, kZ = 6, kQ = 12;

class Layout : public KeyboardLayout {
public:
    std::optional<char16_t> characterForKeyCode(std::uint16_t key) const override {
        static const std::map<std::uint16_t, char16_t> keys{{kC, u'c'}, {kX, u'x'}, {kV, u'v'},
                                                            {kA, u'a'}, {kZ, u'z'}, {kQ, u'q'}};
        auto it = keys.find(key);
        return it == keys.end() ? std::nullopt : std::optional(it->second);
    }
};

using T = ShortcutStrokes::Terminal;
KeyStroke control(std::uint16_t key) {
    return KeyStroke{{kControlKeyCode}, key};
}
KeyStroke shiftControl(std::uint16_t key) {
    return KeyStroke{{kShiftKeyCode, kControlKeyCode}, key};
}

struct Case {
    const char* name;
    T terminal;
    KeyStroke stroke;
    std::optional<std::string> selection; // what the terminal's selection reads as
    std::optional<KeyStroke> posted;      // none: nothing posted
    bool copied;                          // the selection went onto the clipboard
    bool wayland = false;                 // the application's windows are Wayland's: no key reaches them
    std::string edited = {};              // what was edited through accessibility: "delete", "paste"
    bool editRefused = false;             // the application refuses that edit
};

const Case kCases[] = {
    {"CopyElsewhereIsTheKey", T::none, control(kC), "words", control(kC), false},
    // Copy takes the selection whatever the terminal (xterm's is PRIMARY); Undo stands for every other
    // Control key.
    {"CopyInATerminalTakesTheSelection", T::accessible, control(kC), "words", std::nullopt, true},
    {"CutInATerminalCopies", T::accessible, control(kX), "words", std::nullopt, true},
    {"CopyOfAnUnreadableSelectionIsRefused", T::accessible, control(kC), std::nullopt, std::nullopt, false},
    {"PasteInVteIsShiftControlV", T::accessible, control(kV), std::nullopt, shiftControl(kV), false},
    {"AllInVteIsShiftControlA", T::accessible, control(kA), std::nullopt, shiftControl(kA), false},
    {"UndoInATerminalIsRefused", T::accessible, control(kZ), std::nullopt, std::nullopt, false},
    {"VtesOwnShiftControlKeysPass", T::accessible, shiftControl(kC), std::nullopt, shiftControl(kC), false},
    {"PasteInXtermIsShiftInsert", T::plain, control(kV), std::nullopt, KeyStroke{{kShiftKeyCode}, 0x72},
     false},
    {"ShiftControlCInXtermIsRefused", T::plain, shiftControl(kC), std::nullopt, std::nullopt, false},
    {"AllInXtermIsRefused", T::plain, control(kA), std::nullopt, std::nullopt, false},
    {"PlainKeysReachATerminal", T::plain, KeyStroke{{}, kQ}, std::nullopt, KeyStroke{{}, kQ}, false},
    // A Wayland window: Copy, Cut and Paste are done on its text, and no other stroke is posted.
    {"CopyInAWaylandWindowTakesTheSelection", T::none, control(kC), "words", std::nullopt, true, true},
    {"CutInAWaylandWindowCopiesAndDeletes", T::none, control(kX), "words", std::nullopt, true, true,
     "delete"},
    {"CutThatCannotDeleteIsRefusedAfterTheCopy", T::none, control(kX), "words", std::nullopt, true, true,
     "delete", true},
    {"PasteInAWaylandWindowInsertsTheClipboard", T::none, control(kV), std::nullopt, std::nullopt, false,
     true, "paste"},
    {"PasteThatIsNotTakenIsRefused", T::none, control(kV), std::nullopt, std::nullopt, false, true, "paste",
     true},
    {"CopyOfAnUnreadableWaylandSelectionIsRefused", T::none, control(kC), std::nullopt, std::nullopt, false,
     true},
    {"UndoInAWaylandWindowIsRefused", T::none, control(kZ), std::nullopt, std::nullopt, false, true},
    {"AWaylandTerminalIsAWaylandWindowFirst", T::accessible, control(kV), std::nullopt, std::nullopt, false,
     true, "paste"},
};

// A refusal beeps and says why, once.
TEST(ShortcutStrokes, DoWhatTheyMeanWithoutSignallingATerminalsProgramOrPostingToWaylandWindows) {
    const Layout layout;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        RecordingAppServices services;
        std::vector<KeyStroke> posted;
        std::vector<std::string> clipboard, edits;
        auto edit = [&](const char* what) {
            edits.push_back(what);
            return !c.editRefused;
        };
        ShortcutStrokes strokes(
            layout, services,
            {[&](ProcessId) { return c.terminal; }, [&](ProcessId) { return c.selection; },
             [&](const std::string& text) { clipboard.push_back(text); },
             [&](const KeyStroke& stroke) {
                 posted.push_back(stroke);
                 return ax::Error::success;
             },
             [&](ProcessId) { return c.wayland; }, [&](ProcessId) { return edit("delete"); },
             [&](ProcessId) { return edit("paste"); }});
        const ax::Error result = strokes.post(42, c.stroke);
        ASSERT_EQ(posted.size(), c.posted ? 1u : 0u);
        EXPECT_TRUE(!c.posted ||
                    (posted[0].modifiers == c.posted->modifiers && posted[0].key == c.posted->key));
        EXPECT_EQ(clipboard, c.copied ? std::vector<std::string>{*c.selection} : std::vector<std::string>{});
        EXPECT_EQ(edits, c.edited.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.edited});
        const bool refused = (!c.posted && !c.copied && c.edited.empty()) || c.editRefused;
        EXPECT_EQ(result == ax::Error::success, !refused);
        EXPECT_EQ(services.beeps, refused ? 1 : 0);
        EXPECT_EQ(services.explained.size(), refused ? 1u : 0u);
    }
}

class TopLevelWindows : public OnTheTestDisplay {
protected:
    std::optional<TopLevelWindow> windowAt(const Rect& r, double dx = 0) {
        return topLevelWindowAt(display(), int(r.minX() + r.size.width / 2 + dx),
                                int(r.minY() + r.size.height / 2));
    }
    // Maps a new window with the pid and waits until the top-level query finds it where the server says it
    // is (a window manager reparents and places it first).
    std::pair<XWindow, Rect> map(int x, int y, int width, int height, bool popup, unsigned long pid) {
        const XWindow window = createWindow(x, y, width, height, popup);
        setCardinal(display(), window, "_NET_WM_PID", pid);
        XMapRaised(display(), window);
        XSync(display(), False);
        std::optional<Rect> frame;
        EXPECT_TRUE(test::spinUntil([&] {
            frame = testing::rootFrame(display(), window);
            const std::optional<TopLevelWindow> hit = frame ? windowAt(*frame) : std::nullopt;
            return hit && hit->window == window && hit->frame == *frame;
        }));
        return {window, frame.value_or(Rect{})};
    }
};

TEST_F(TopLevelWindows, TheTopmostWindowAtAPointGivesItsClientPidAndFrame) {
    const auto [lower, lowerFrame] = map(300, 200, 400, 300, false, 4242);
    EXPECT_EQ(windowAt(lowerFrame), (TopLevelWindow{lower, 4242, lowerFrame}));
    // A popup menu over it: override-redirect, unmanaged, with a pid of its own.
    const auto [popup, popupFrame] =
        map(int(lowerFrame.minX()) + 20, int(lowerFrame.minY()) + 20, 100, 80, true, 4343);
    EXPECT_EQ(popupFrame, (Rect{{lowerFrame.minX() + 20, lowerFrame.minY() + 20}, {100, 80}}));
    EXPECT_EQ(windowAt(popupFrame), (TopLevelWindow{popup, 4343, popupFrame}));
    EXPECT_EQ(windowAt(lowerFrame, 150).value().window, lower) << "beside the popup";

    // Gone: the point falls through to the window below, and questions about it have no answer.
    XDestroyWindow(display(), popup);
    XSync(display(), False);
    EXPECT_EQ(windowAt(popupFrame).value().window, lower);
    EXPECT_EQ(windowPid(display(), popup), std::nullopt);
}

TEST_F(TopLevelWindows, PropertiesOfTheWrongKindReadAsNone) {
    const XWindow window = createWindow(10, 10, 50, 50, true);
    EXPECT_EQ(windowPid(display(), window), std::nullopt) << "no property";
    setText(display(), window, "_NET_WM_PID", "4242", "STRING");
    EXPECT_EQ(windowPid(display(), window), std::nullopt) << "a pid written as text";
    setCardinal(display(), window, "_NET_WM_PID", 0x80000000ul);
    EXPECT_EQ(windowPid(display(), window), std::nullopt) << "beyond any pid";
    EXPECT_EQ(readWindowProperty(display(), window, "_NET_WM_PID"), std::nullopt) << "CARDINAL is no WINDOW";

    // The desktop file id from either property, and none from text that cannot be one.
    const std::pair<std::string, std::optional<std::string>> ids[] = {
        {"org.example.App.desktop", "org.example.App"},
        {"org.example.App", "org.example.App"},
        {"bad\xff\xfe", std::nullopt},
        {std::string(kMaxPropertyTextBytes + 1, 'a'), std::nullopt},
        {".desktop", std::nullopt}};
    for (const auto& [text, id] : ids) {
        setText(display(), window, "_GTK_APPLICATION_ID", text);
        EXPECT_EQ(desktopFileIdOfWindow(display(), window), id) << text.substr(0, 20);
    }
    // STRING is Latin-1; what comes back is UTF-8.
    setText(display(), window, "WM_NAME", "caf\xe9", "STRING");
    EXPECT_EQ(readTextProperty(display(), window, "WM_NAME"), "caf\xc3\xa9");
}

// Reading PRIMARY without taking it, from owners the test starts: xclip offering bytes as one target, and
// an owner that never answers.
class PrimarySelectionTest : public OnTheTestDisplay {
protected:
    void SetUp() override {
        OnTheTestDisplay::SetUp();
        if (IsSkipped()) return;
        // Whatever an earlier test left as the selection is not this test's.
        XSetSelectionOwner(display(), XA_PRIMARY, None, CurrentTime);
        XSync(display(), False);
    }
    void TearDown() override {
        if (!owner) return;
        owner->kill();
        owner->waitForFinished(5000);
    }
    testing::XWindow primaryOwner() { return XGetSelectionOwner(display(), XA_PRIMARY); }

    // xclip in the foreground, holding the bytes as PRIMARY of that target; the window that owns it.
    testing::XWindow offer(const std::string& bytes, const char* target = "UTF8_STRING") {
        owner = std::make_unique<QProcess>();
        owner->setStandardOutputFile(QProcess::nullDevice());
        owner->setStandardErrorFile(QProcess::nullDevice());
        owner->start("xclip", {"-selection", "primary", "-i", "-quiet", "-t", target});
        if (!owner->waitForStarted(5000)) return None;
        owner->write(bytes.data(), static_cast<qint64>(bytes.size()));
        owner->closeWriteChannel();
        spinUntil([&] { return primaryOwner() != None; });
        return primaryOwner();
    }

    std::unique_ptr<QProcess> owner;
};

TEST_F(PrimarySelectionTest, TakesWhatTextTheOwnerOffersAndAnOwnerThatNeverAnswersCostsTheLimitOnly) {
    // UTF-8 as it is. Asked twice: the owner keeps the selection, never taken from it.
    const std::string text = "Grüße, 世界 — \"quoted\" $(x) 😀\nsecond line";
    const std::tuple<std::string, const char*, std::optional<std::string>> cases[] = {
        {text, "UTF8_STRING", text},
        {"caf\xe9 na\xefve", "STRING", "caf\xc3\xa9 na\xc3\xafve"},            // Latin-1, converted
        {"ok \xff\xfe end", "UTF8_STRING", "ok \xef\xbf\xbd\xef\xbf\xbd end"}, // said to be UTF-8, repaired
        {std::string(1 << 20, 'a'), "UTF8_STRING",
         std::string(1 << 20, 'a')},        // too large for one reply: in pieces
        {"", "UTF8_STRING", std::nullopt}}; // no text either
    for (const auto& [bytes, target, expected] : cases) {
        const testing::XWindow xclip = offer(bytes, target);
        ASSERT_NE(xclip, testing::XWindow(None)) << target;
        EXPECT_EQ(readPrimarySelection(5s), expected) << target;
        EXPECT_EQ(readPrimarySelection(5s, bytes.size() - 1), std::nullopt)
            << "more than taken is nothing, not a part";
        EXPECT_EQ(primaryOwner(), xclip);
        owner->kill();
        owner->waitForFinished(5000);
        ASSERT_TRUE(spinUntil([&] { return primaryOwner() == None; }));
    }

    // A hung owner costs the limit, not more (again a generous bound), and keeps the selection.
    // Owns PRIMARY on a connection of its own whose events nobody reads: every request goes unanswered.
    DisplayHandle silent = testing::openTestDisplay();
    const testing::XWindow window =
        XCreateSimpleWindow(silent.get(), DefaultRootWindow(silent.get()), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(silent.get(), XA_PRIMARY, window, CurrentTime);
    XSync(silent.get(), False);
    ASSERT_EQ(primaryOwner(), window);
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(readPrimarySelection(300ms), std::nullopt);
    EXPECT_GE(std::chrono::steady_clock::now() - asked, 300ms) << "it gave up before its limit";
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 5s);
    EXPECT_EQ(primaryOwner(), window);
    silent.reset();
}

} // namespace
} // namespace quoddle
