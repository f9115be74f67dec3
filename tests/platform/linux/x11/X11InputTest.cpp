// The recorded input, the input tap over it, and the key poster, against the test display's server.
// That a drag opens the palette and a button posts its keys is the desktop tier's.
#include "platform/linux/x11/KeyCodeTranslation.h"
#include "platform/linux/x11/X11KeyPoster.h"
#include "platform/linux/x11/XRecordEventTaps.h"
#include "platform/linux/x11/XRecordInput.h"

#include <gtest/gtest.h>

#include "platform/linux/X11TestSession.h"

#include <X11/keysym.h>

namespace quoddle {
namespace {

using Kind = InputEvent::Kind;
using Type = InputEventType;

TEST(X11KeyPoster, WithoutAServerPostsNothingAndSaysSo) {
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
    using namespace mac_vk;
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

} // namespace
} // namespace quoddle
