#include "PaletteFixture.h"

namespace quoddle {
namespace {

using namespace std::chrono_literals;

class PaletteHiding : public PaletteFixture {
protected:
    // A shown palette at (100, 100), 180 x 136, with its timer running.
    void showPalette() {
        desktop.window.setFrame(Rect{{100, 100}, {180, 136}}, false);
        desktop.window.orderFront();
        controller().startCheckMouseTimer();
    }
    void pointerAt(Point p) {
        desktop.pointer.moveTo(p);
        desktop.runLoop.advance(0.05s);
    }
};

TEST_F(PaletteHiding, ThePointerMayWanderTwiceTheMarginOutsideOrAwayWhileAPressIsHeld) {
    showPalette();
    pointerAt({280 + 12, 150});
    EXPECT_TRUE(desktop.window.isVisible()) << "12 points right of the right edge";
    pointerAt({100 - 12, 100 - 12});
    EXPECT_TRUE(desktop.window.isVisible());
    setPreference(kWindowAndMouseMargin, 20);
    pointerAt({150, 236 + 40});
    EXPECT_TRUE(desktop.window.isVisible()) << "the margin is read at every tick";
    setPreference(kWindowAndMouseMargin, 6);
    controller().isPressAppWindow = true;
    pointerAt({280 + 12.5, 150});
    EXPECT_TRUE(desktop.window.isVisible()) << "a press held in the palette keeps it";
    controller().isPressAppWindow = false;
    desktop.runLoop.advance(0.05s);
    EXPECT_FALSE(desktop.window.isVisible()) << "12.5 points outside";
    EXPECT_FALSE(controller().checkMouseTimer);
    EXPECT_EQ(desktop.runLoop.scheduledTimerCount(), 0u);
}

TEST_F(PaletteHiding, APinnedPaletteIgnoresThePointer) {
    desktop.workspace.activate(desktop.launch("Front", "com.example.Front").processIdentifier);
    setShortcutText("Pin\tkeyCode\t49\tDontHideWindow\tStopAutoHideWindow\n");
    controller().addServiceButton();
    showPalette();
    desktop.window.buttonTitled("Pin")->performClick();
    EXPECT_TRUE(controller().isStopAutoHideWindow);
    EXPECT_FALSE(controller().checkMouseTimer);
    pointerAt({1000, 800});
    desktop.runLoop.advance(1s);
    EXPECT_TRUE(desktop.window.isVisible());
}

TEST_F(PaletteHiding, HidingIsSafeAtAnyTimeAndOnlyClosingThePaletteStopsTheTimer) {
    controller().hideWindow();
    controller().stopCheckMouseTimer();
    showPalette();
    controller().windowWillClose(desktop.settingWindow);
    EXPECT_TRUE(controller().checkMouseTimer);
    desktop.window.close();
    EXPECT_FALSE(controller().checkMouseTimer);
}

} // namespace
} // namespace quoddle
