// The recorded input, the input tap over it, and the key poster, against the test display's server.
// That a drag opens the palette and a button posts its keys is the desktop tier's.
#include "platform/linux/x11/KeyCodeTranslation.h"
#include "platform/linux/x11/X11KeyPoster.h"
#include "platform/linux/x11/XRecordEventTaps.h"
#include "platform/linux/x11/XRecordInput.h"

#include <gtest/gtest.h>

#include "platform/linux/X11TestSession.h"

#include <X11/keysym.h>

#include <algorithm>

namespace quoddle {
namespace {

using Kind = InputEvent::Kind;
using Type = InputEventType;

// Buttons 4 to 7 are wheel steps, no presses; releases other than the left button's say nothing.
TEST(CoreEventType, ButtonsKeysAndBreaksTranslateByTheTable) {
    const std::optional<Type> kNone;
    const std::tuple<Kind, unsigned, std::optional<Type>> cases[] = {
        {Kind::buttonPress, 1, Type::leftButtonDown},
        {Kind::buttonRelease, 1, Type::leftButtonUp},
        {Kind::buttonPress, 2, Type::otherButtonDown},
        {Kind::buttonPress, 3, Type::rightButtonDown},
        {Kind::buttonPress, 4, kNone},
        {Kind::buttonPress, 8, Type::otherButtonDown},
        {Kind::keyPress, 38, Type::keyDown},
        {Kind::keyRelease, 38, kNone},
        {Kind::motion, 0, kNone},
        {Kind::broken, 0, Type::tapDisabledByUserInput}};
    for (const auto& [kind, detail, type] : cases) {
        InputEvent event;
        event.kind = kind;
        event.detail = detail;
        EXPECT_EQ(coreEventTypeOf(event), type) << "kind " << int(kind) << " detail " << detail;
    }
    // A poster without a server posts nothing, and says so.
    X11KeyPoster withoutXTest(nullptr);
    EXPECT_EQ(withoutXTest.postKey(mac_vk::kVK_ANSI_A, true), ax::Error::cannotComplete);
    EXPECT_EQ(withoutXTest.postKey(0x34, true), ax::Error::illegalArgument)
        << "no such key, whatever the server";
}

// Input posted on the test display lands on a window of the test's own that has the focus, so nothing
// else on the display reacts to it.
class RecordedInput : public ::testing::Test {
protected:
    void SetUp() override {
        if (!(display_ = testing::openTestDisplay())) GTEST_SKIP() << "no display";
        test::qtApplication();
        windows_.emplace(display());
        const testing::XWindow target = windows_->create(100, 100, 400, 300, true);
        XMapRaised(display(), target);
        XSync(display(), False);
        ASSERT_TRUE(test::spinUntil([&] { return testing::isViewable(display(), target); }));
        XSetInputFocus(display(), target, RevertToPointerRoot, CurrentTime);
        XSync(display(), False);
        ASSERT_TRUE(input.start());
        input.addListener([this](const InputEvent& e) { seen.push_back(e); });
    }

    Display* display() const { return display_.get(); }
    void click(unsigned button) {
        testing::pressButton(display(), button, true);
        testing::pressButton(display(), button, false);
    }
    void type(unsigned keycode) {
        testing::pressKey(display(), keycode, true);
        testing::pressKey(display(), keycode, false);
    }
    bool seenReach(std::size_t count) {
        return test::spinUntil([&] { return seen.size() >= count; });
    }

    DisplayHandle display_;
    std::optional<testing::TestWindows> windows_;
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

TEST_F(RecordedInput, TapDeliversItsMaskWhileEnabledAndReportsABrokenRecording) {
    XRecordEventTaps taps(input);
    std::vector<Type> log;
    const InputEventMask mask =
        maskOf(Type::leftButtonDown) | maskOf(Type::leftButtonUp) | maskOf(Type::keyDown);
    std::unique_ptr<InputTap> tap = taps.createListenOnlyTap(mask, &recordType, &log);
    ASSERT_TRUE(tap);
    std::unique_ptr<RunLoopSource> source = tap->createRunLoopSource();
    click(1); // before the source is on the run loop: not delivered
    ASSERT_TRUE(seenReach(2));
    source->addToRunLoop();
    click(3); // not in the mask
    click(4); // a wheel step
    click(1);
    type(38);
    ASSERT_TRUE(seenReach(10));
    tap->enable(false);
    click(1);
    ASSERT_TRUE(seenReach(12));
    tap->enable(true);
    // Paused, the release goes unheard (no selection ends in a palette), the press does not.
    taps.setPaused(true);
    click(1);
    ASSERT_TRUE(seenReach(14));
    taps.setPaused(false);
    EXPECT_EQ(log, (std::vector<Type>{Type::leftButtonDown, Type::leftButtonUp, Type::keyDown,
                                      Type::leftButtonDown}));

    // Another client cuts the connection that owns the recording (as xkill would).
    XKillClient(display(), input.recordingContext());
    XSync(display(), False);
    ASSERT_TRUE(test::spinUntil([&] { return log.size() == 5; }));
    EXPECT_EQ(log.back(), Type::tapDisabledByUserInput);
    EXPECT_FALSE(input.isRecording());
    // What the core does then: a new tap, which starts the recording again.
    source.reset();
    tap = taps.createListenOnlyTap(mask, &recordType, &log);
    ASSERT_TRUE(tap);
    source = tap->createRunLoopSource();
    source->addToRunLoop();
    click(1);
    ASSERT_TRUE(test::spinUntil([&] { return log.size() >= 7; }));
    EXPECT_EQ(std::vector<Type>(log.begin() + 5, log.end()),
              (std::vector<Type>{Type::leftButtonDown, Type::leftButtonUp}));
}

TEST_F(RecordedInput, PosterPostsStrokesAndReleasesWhatItHoldsWhenAStepFails) {
    using namespace mac_vk;
    DisplayHandle posterDisplay = openDisplay();
    constexpr unsigned controlL = 37, shiftL = 50;
    {
        X11KeyPoster poster(posterDisplay.get());
        EXPECT_EQ(poster.postStroke(KeyStroke{{kVK_Control}, kVK_ANSI_C}), ax::Error::success);
        // Shift held, then a step that cannot be posted: Shift goes up with it.
        EXPECT_EQ(poster.postStroke(KeyStroke{{kVK_Shift}, 0x34}), ax::Error::illegalArgument);
        EXPECT_FALSE(testing::keyIsDown(display(), shiftL));
        EXPECT_TRUE(poster.heldModifiers().empty());
        // A poster that goes away lets go of what it holds.
        EXPECT_EQ(poster.postKey(kVK_Control, true), ax::Error::success);
        EXPECT_TRUE(testing::keyIsDown(display(), controlL));
    }
    EXPECT_FALSE(testing::keyIsDown(display(), controlL));
    input.drain();
    std::string keys; // keycodes, + down, - up
    for (const InputEvent& e : seen)
        keys += (e.kind == Kind::keyPress ? " +" : " -") + std::to_string(e.detail);
    EXPECT_EQ(keys, " +37 +54 -54 -37 +50 -50 +37 -37") << "Control, c; Shift; Control";
    ASSERT_GE(seen.size(), 2u);
    EXPECT_NE(seen[1].state & ControlMask, 0u) << "c went with Control held";
    EXPECT_EQ(seen[1].keysym, static_cast<unsigned long>(XK_c));
}

} // namespace
} // namespace quoddle
