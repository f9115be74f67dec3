#pragma once
// The simulated desktop: every port in memory, and the actions of a user. Tests and the demo build Quoddle
// on `platform()`.

#include "platform/Platform.h"
#include "platform/sim/SimAccessibility.h"
#include "platform/sim/SimAppServices.h"
#include "platform/sim/SimApplication.h"
#include "platform/sim/SimDefaultsStore.h"
#include "platform/sim/SimEventTaps.h"
#include "platform/sim/SimLoginItems.h"
#include "platform/sim/SimRunLoop.h"
#include "platform/sim/SimUi.h"
#include "platform/sim/SimWorkspace.h"

namespace quoddle {

class SimDesktop {
public:
    SimDesktop();
    ~SimDesktop();
    SimDesktop(const SimDesktop&) = delete;
    SimDesktop& operator=(const SimDesktop&) = delete;

    Platform& platform() { return platform_; }

    // An application with an (empty) accessibility tree, launched as the workspace reports it.
    RunningApplication launch(const std::string& localizedName, const std::string& bundleIdentifier);

    // The user's hands. Each input goes through the event tap and the main loop then runs what it queued.
    void moveMouseTo(Point eventLocation) { pointer.moveTo(pointer.screenPointOfEventPoint(eventLocation)); }
    void pressLeftButton() { input(InputEventType::leftButtonDown); }
    void releaseLeftButton() { input(InputEventType::leftButtonUp); }
    void pressRightButton() { input(InputEventType::rightButtonDown); }
    void pressOtherButton() { input(InputEventType::otherButtonDown); }
    void pressKey() { input(InputEventType::keyDown); }
    // A click on a palette button as the user makes it: the pointer moves onto the button, the press and
    // the release pass through the event tap, and the button's action runs on the release.
    void clickButton(SimButton& button);

    SimClock clock;
    SimRunLoop runLoop{clock};
    SimDefaultsStore defaultsStore;
    SimWorkspace workspace{RunningApplication{400, "org.quoddle.Quoddle", "Quoddle"}};
    SimAppServices appServices;
    SimApplication application;
    SimEventTaps eventTaps;
    SimScreens screens;
    SimPointer pointer{screens};
    SimKeyboardLayout keyboardLayout;
    SimLoginItems loginItems;
    SimPaletteWindow palette{screens};
    SimWindow settingsWindow;
    SimWindow startupWindow;
    SimTextView historyTextView;
    SimTextView shortcutTextView;
    SimTextView blacklistTextView;
    SimTextField accessibilityStatusField;
    SimAccessibility accessibility;

private:
    void input(InputEventType type);
    // The palette's frame in event coordinates, where it is hit.
    Rect paletteEventFrame() const;

    Platform platform_;
    ax::ElementRef paletteElement_; // Quoddle's own palette, as a hit test on it answers
};

} // namespace quoddle
