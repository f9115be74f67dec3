// The passive event tap and the press and release tracking that, with the selection reports of the
// application observers, decides when the palette may open.
#include "input/PassiveEventTap.h"

#include "Library/NotificationAdditions.h"
#include "QuoddleAppDelegate.h"
#include "accessibility/ApplicationObservers.h"

namespace quoddle {

namespace {

// Queued work finds the controller at the time it runs, so a controller that has gone meanwhile is not
// called.
void queueOnMainLoop(RunLoop& runLoop, void (QuoddleAppDelegate::*work)()) {
    runLoop.post([work] {
        if (QuoddleAppDelegate* controller = gQuoddleAppDelegate) (controller->*work)();
    });
}

} // namespace

CGEvent* MyPassiveEventTapCallBack(void*, CGEventType type, CGEvent* event, void*) {
    QuoddleAppDelegate* controller = gQuoddleAppDelegate;
    if (!controller) return event;
    switch (type) {
    case kCGEventLeftMouseDown:
        queueOnMainLoop(controller->platform.runLoop, &QuoddleAppDelegate::leftMouseDown);
        break;
    case kCGEventLeftMouseUp:
        queueOnMainLoop(controller->platform.runLoop, &QuoddleAppDelegate::leftMouseUp);
        break;
    case kCGEventRightMouseDown:
    case kCGEventKeyDown:
    case kCGEventOtherMouseDown:
        controller->clearClickData();
        controller->hideWindow();
        break;
    case kCGEventTapDisabledByTimeout:
        controller->platform.appServices.log("Quoddle passive kCGEventTapDisabledByTimeout " +
                                             std::to_string(static_cast<std::int32_t>(type)));
        queueOnMainLoop(controller->platform.runLoop, &QuoddleAppDelegate::enablePassiveEventTap);
        break;
    case kCGEventTapDisabledByUserInput:
        controller->platform.appServices.log("Quoddle passive kCGEventTapDisabledByUserInput " +
                                             std::to_string(static_cast<std::int32_t>(type)));
        postNotificationOnMainThreadWithName(
            NotificationCenter::defaultCenter(), controller->platform.runLoop,
            kInstallPassiveEventTapNotification, controller, std::nullopt, false);
        break;
    default:
        break;
    }
    return event;
}

void QuoddleAppDelegate::installPassiveEventTap() {
    releasePassiveEventTap();
    passiveEventTapPort =
        platform.eventTaps.createListenOnlyTap(kPassiveEventTapMask, MyPassiveEventTapCallBack, this);
    if (passiveEventTapPort) passiveEventTapRLSR = passiveEventTapPort->createRunLoopSource();
    if (passiveEventTapRLSR) passiveEventTapRLSR->addToRunLoop();
}

void QuoddleAppDelegate::installPassiveEventTap(const Notification&) {
    // The notification arrives from inside the disabled tap's own callback: replace the tap on the next
    // pass of the loop, not while its callback is still running.
    queueOnMainLoop(platform.runLoop,
                    static_cast<void (QuoddleAppDelegate::*)()>(&QuoddleAppDelegate::installPassiveEventTap));
}

void QuoddleAppDelegate::releasePassiveEventTap() {
    if (passiveEventTapRLSR) {
        passiveEventTapRLSR->removeFromRunLoop();
        passiveEventTapRLSR.reset();
    }
    passiveEventTapPort.reset();
}

void QuoddleAppDelegate::enablePassiveEventTap() {
    if (passiveEventTapPort) passiveEventTapPort->enable(true);
}

void QuoddleAppDelegate::leftMouseDown() {
    clearClickData();
    if (AXUIElementRef element = uiElement.copyUIElementAtMouse())
        setUIElementInfo(uiElement, element, gMouseDownElementRole, gMouseDownElementInfo,
                         gMouseDownElementPid);
    const bool pressedInThisApplication = thisAppPid == gMouseDownElementPid;
    if (!pressedInThisApplication && !isStopAutoHideWindow) hideWindow();
    isPressAppWindow = pressedInThisApplication;
}

void QuoddleAppDelegate::leftMouseUp() {
    isPressAppWindow = false;
    gLastClickDate = platform.clock.now();
    showWindow();
}

} // namespace quoddle
