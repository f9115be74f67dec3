// The recorded input, the event tap over it, and the key poster, against the test display's server.
#include "platform/linux/MacKeyCodes.h"
#include "platform/linux/X11KeyPoster.h"
#include "platform/linux/XRecordEventTaps.h"
#include "platform/linux/XRecordInput.h"

#include <gtest/gtest.h>

#include "platform/linux/X11TestSession.h"

#include <X11/keysym.h>

namespace quoddle {
namespace {

using testing::XWindow;

using Kind = InputEvent::Kind;

TEST(CoreEventType, ButtonsKeysAndBreaksTranslateByTheTable) {
    struct Case {
        Kind kind;
        unsigned detail;
        std::optional<CGEventType> type;
    };
    const Case cases[] = {
        {Kind::buttonPress, 1, kCGEventLeftMouseDown},
        {Kind::buttonRelease, 1, kCGEventLeftMouseUp},
        {Kind::buttonPress, 2, kCGEventOtherMouseDown},
        {Kind::buttonPress, 3, kCGEventRightMouseDown},
        // Wheel steps arrive as presses of 4 to 7 but are no presses.
        {Kind::buttonPress, 4, std::nullopt},
        {Kind::buttonPress, 5, std::nullopt},
        {Kind::buttonPress, 6, std::nullopt},
        {Kind::buttonPress, 7, std::nullopt},
        {Kind::buttonPress, 8, kCGEventOtherMouseDown},
        {Kind::buttonPress, 9, kCGEventOtherMouseDown},
        {Kind::buttonPress, 255, kCGEventOtherMouseDown},
        {Kind::buttonRelease, 2, std::nullopt},
        {Kind::buttonRelease, 3, std::nullopt},
        {Kind::buttonRelease, 4, std::nullopt},
        {Kind::buttonRelease, 8, std::nullopt},
        {Kind::keyPress, 38, kCGEventKeyDown},
        {Kind::keyPress, 255, kCGEventKeyDown},
        {Kind::keyRelease, 38, std::nullopt},
        {Kind::motion, 0, std::nullopt},
        {Kind::broken, 0, kCGEventTapDisabledByUserInput},
    };
    for (const Case& c : cases) {
        InputEvent event;
        event.kind = c.kind;
        event.detail = c.detail;
        EXPECT_EQ(coreEventTypeOf(event), c.type) << "kind " << int(c.kind) << " detail " << c.detail;
    }
}

TEST(X11KeyPoster, WithoutXTestPostsNothingAndTellsWhy) {
    X11KeyPoster poster(nullptr);
    EXPECT_EQ(poster.postKey(mac_vk::kVK_ANSI_A, true), kAXErrorCannotComplete);
    EXPECT_EQ(poster.postKey(0x34, true), kAXErrorIllegalArgument); // no such key, whatever the server
    EXPECT_TRUE(poster.heldModifiers().empty());
}

// Input posted on the test display lands on a window of the test's own that has the focus, so nothing
// else on the display reacts to it.
class RecordedInput : public ::testing::Test {
protected:
    void SetUp() override {
        display_ = testing::openTestDisplay();
        if (!display_) GTEST_SKIP() << "no display";
        test::qtApplication();
        windows_.emplace(display());
        target_ = windows_->create(100, 100, 400, 300, true);
        XMapRaised(display(), target_);
        XSync(display(), False);
        ASSERT_TRUE(test::spinUntil([&] { return testing::isViewable(display(), target_); }));
        XSetInputFocus(display(), target_, RevertToPointerRoot, CurrentTime);
        XSync(display(), False);
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

    DisplayHandle display_;
    std::optional<testing::TestWindows> windows_;
    XWindow target_ = 0;
};

TEST_F(RecordedInput, ListenersSeePressReleaseAndKeyInOrderAtThePointer) {
    testing::movePointer(display(), 5, 5); // so that both moves below are moves
    XRecordInput input;
    std::string reason;
    ASSERT_TRUE(input.start(&reason)) << reason;
    std::vector<InputEvent> seen, motions;
    input.addListener([&](const InputEvent& e) { seen.push_back(e); });
    input.addListener([&](const InputEvent& e) { motions.push_back(e); }, true);

    testing::movePointer(display(), 205, 155);
    testing::movePointer(display(), 210, 160);
    click(1);
    type(38); // the A key
    ASSERT_TRUE(test::spinUntil([&] { return seen.size() >= 4; })) << seen.size() << " events";

    ASSERT_EQ(seen.size(), 4u);
    const Kind kinds[] = {Kind::buttonPress, Kind::buttonRelease, Kind::keyPress, Kind::keyRelease};
    const unsigned details[] = {1, 1, 38, 38};
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(seen[i].kind, kinds[i]);
        EXPECT_EQ(seen[i].detail, details[i]);
        EXPECT_EQ(seen[i].rootX, 210);
        EXPECT_EQ(seen[i].rootY, 160);
    }
    EXPECT_EQ(seen[0].keysym, 0u);
    EXPECT_EQ(seen[2].keysym, static_cast<unsigned long>(XK_a));
    EXPECT_NE(seen[1].state & Button1Mask, 0u) << "the release happens with the button held";
    EXPECT_LE(seen[0].timeMs, seen[3].timeMs);

    // Motion goes only to the listener that asked; it saw the move and everything else too.
    ASSERT_FALSE(motions.empty());
    EXPECT_EQ(motions.front().kind, Kind::motion);
    EXPECT_EQ(motions.front().rootX, 205);
    EXPECT_EQ(motions.size(), 6u);

    // drain() brings in, before it returns, what the server has already processed.
    click(3);
    input.drain();
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[4].kind, Kind::buttonPress);
    EXPECT_EQ(seen[4].detail, 3u);
    EXPECT_EQ(seen[5].kind, Kind::buttonRelease);
}

TEST_F(RecordedInput, InputThatReachesNoClientStillArrives) {
    XRecordInput input;
    ASSERT_TRUE(input.start());
    int seen = 0;
    input.addListener([&](const InputEvent&) { ++seen; });
    // A first key makes XTest's keyboard the device in use: switching devices sends clients (Qt among
    // them) a device-change event, which would make the server flush for a reason of its own.
    type(38);
    input.drain();
    ASSERT_EQ(seen, 2);
    // The focused test window asks for no keys, and nothing here waits for the server: it has no other
    // reason to send anything to anyone.
    XTestFakeKeyEvent(display(), 38, True, CurrentTime);
    XTestFakeKeyEvent(display(), 38, False, CurrentTime);
    XFlush(display());
    EXPECT_TRUE(test::spinUntil([&] { return seen == 4; })) << seen << " events";
}

TEST_F(RecordedInput, ListenersMayRemoveThemselvesAndOthersWhileBeingCalled) {
    XRecordInput input;
    ASSERT_TRUE(input.start());
    int first = 0, second = 0, third = 0;
    XRecordInput::ListenerId secondId = 0, firstId = 0;
    firstId = input.addListener([&](const InputEvent&) {
        ++first;
        input.removeListener(firstId);
        input.removeListener(secondId);
    });
    secondId = input.addListener([&](const InputEvent&) { ++second; });
    input.addListener([&](const InputEvent&) { ++third; });
    click(1);
    ASSERT_TRUE(test::spinUntil([&] { return third >= 2; }));
    input.drain();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0) << "removed during the batch before its turn";
    EXPECT_EQ(third, 2);
}

struct TapLog {
    std::vector<CGEvent> events;
    static CGEvent* callback(void*, CGEventType type, CGEvent* event, void* userInfo) {
        EXPECT_EQ(type, event->type);
        static_cast<TapLog*>(userInfo)->events.push_back(*event);
        return event;
    }
};

TEST_F(RecordedInput, TapDeliversItsMaskWhileEnabledAndReportsABrokenRecording) {
    XRecordInput input;
    XRecordEventTaps taps(input);
    TapLog log;
    const CGEventMask mask = CGEventMaskBit(kCGEventLeftMouseDown) | CGEventMaskBit(kCGEventLeftMouseUp) |
                             CGEventMaskBit(kCGEventKeyDown);
    std::unique_ptr<EventTap> tap = taps.createListenOnlyTap(mask, &TapLog::callback, &log);
    ASSERT_TRUE(tap);
    std::unique_ptr<RunLoopSource> source = tap->createRunLoopSource();
    ASSERT_TRUE(source);
    // Counts what the server sent, so the test knows when the tap has had its chance.
    std::size_t recorded = 0;
    input.addListener([&](const InputEvent&) { ++recorded; });
    auto waitForRecorded = [&](std::size_t count) {
        return test::spinUntil([&] { return recorded >= count; });
    };

    testing::movePointer(display(), 150, 120);
    click(1); // before the source is on the run loop: not delivered
    ASSERT_TRUE(waitForRecorded(2));
    EXPECT_TRUE(log.events.empty());

    source->addToRunLoop();
    click(3); // not in the mask
    click(4); // a wheel step
    click(1);
    type(38);
    ASSERT_TRUE(waitForRecorded(10));
    ASSERT_EQ(log.events.size(), 3u);
    EXPECT_EQ(log.events[0].type, kCGEventLeftMouseDown);
    EXPECT_EQ(log.events[1].type, kCGEventLeftMouseUp);
    EXPECT_EQ(log.events[2].type, kCGEventKeyDown);
    for (const CGEvent& event : log.events)
        EXPECT_EQ(event.location, (Point{150, 120}));

    tap->enable(false);
    click(1);
    ASSERT_TRUE(waitForRecorded(12));
    EXPECT_EQ(log.events.size(), 3u);
    tap->enable(true);
    type(38);
    ASSERT_TRUE(waitForRecorded(14));
    EXPECT_EQ(log.events.size(), 4u);

    // Paused, the release goes unheard (no selection ends in a palette), the press does not.
    taps.setPaused(true);
    click(1);
    ASSERT_TRUE(waitForRecorded(16));
    ASSERT_EQ(log.events.size(), 5u);
    EXPECT_EQ(log.events.back().type, kCGEventLeftMouseDown);
    log.events.pop_back();
    taps.setPaused(false);

    // Another client cuts the connection that owns the recording (as xkill would).
    XKillClient(display(), input.recordingContext());
    XSync(display(), False);
    ASSERT_TRUE(
        test::spinUntil([&] { return !log.events.empty() && log.events.back().type != kCGEventKeyDown; }));
    ASSERT_EQ(log.events.size(), 5u);
    EXPECT_EQ(log.events.back().type, kCGEventTapDisabledByUserInput);
    EXPECT_FALSE(input.isRecording());

    // What the core does then: a new tap, which starts the recording again.
    source.reset();
    tap.reset();
    tap = taps.createListenOnlyTap(mask, &TapLog::callback, &log);
    ASSERT_TRUE(tap);
    source = tap->createRunLoopSource();
    source->addToRunLoop();
    click(1);
    ASSERT_TRUE(test::spinUntil([&] { return log.events.size() >= 7; }));
    EXPECT_EQ(log.events[5].type, kCGEventLeftMouseDown);
    EXPECT_EQ(log.events[6].type, kCGEventLeftMouseUp);
}

TEST_F(RecordedInput, PosterReleasesTheModifiersItHoldsWhenAStepFails) {
    using namespace mac_vk;
    XRecordInput input;
    ASSERT_TRUE(input.start());
    std::vector<InputEvent> keys;
    input.addListener([&](const InputEvent& e) {
        if (e.kind == Kind::keyPress || e.kind == Kind::keyRelease) keys.push_back(e);
    });
    DisplayHandle posterDisplay = openDisplay();
    ASSERT_TRUE(posterDisplay);
    constexpr unsigned controlL = 37, cKey = 54, shiftL = 50;

    {
        X11KeyPoster poster(posterDisplay.get());
        // Control+c, then a step that cannot be posted.
        EXPECT_EQ(poster.postKey(kVK_Control, true), kAXErrorSuccess);
        EXPECT_TRUE(testing::keyIsDown(display(), controlL));
        EXPECT_EQ(poster.heldModifiers(), std::vector<std::uint16_t>{kVK_Control});
        EXPECT_EQ(poster.postKey(kVK_ANSI_C, true), kAXErrorSuccess);
        EXPECT_EQ(poster.postKey(kVK_ANSI_C, false), kAXErrorSuccess);
        EXPECT_EQ(poster.postKey(0x34, true), kAXErrorIllegalArgument);
        EXPECT_FALSE(testing::keyIsDown(display(), controlL));
        EXPECT_TRUE(poster.heldModifiers().empty());
        // The shortcut's own release of Control comes after that: Control is no longer this poster's.
        EXPECT_EQ(poster.postKey(kVK_Control, false), kAXErrorSuccess);

        // A poster that goes away lets go of what it holds.
        EXPECT_EQ(poster.postKey(kVK_Shift, true), kAXErrorSuccess);
        EXPECT_TRUE(testing::keyIsDown(display(), shiftL));
    }
    EXPECT_FALSE(testing::keyIsDown(display(), shiftL));

    input.drain();
    ASSERT_EQ(keys.size(), 6u);
    const std::pair<Kind, unsigned> expected[] = {{Kind::keyPress, controlL}, {Kind::keyPress, cKey},
                                                  {Kind::keyRelease, cKey},   {Kind::keyRelease, controlL},
                                                  {Kind::keyPress, shiftL},   {Kind::keyRelease, shiftL}};
    for (std::size_t i = 0; i < keys.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(keys[i].kind, expected[i].first);
        EXPECT_EQ(keys[i].detail, expected[i].second);
    }
    EXPECT_NE(keys[1].state & ControlMask, 0u) << "c went with Control held";
    EXPECT_EQ(keys[1].keysym, static_cast<unsigned long>(XK_c));
}

} // namespace
} // namespace quoddle
