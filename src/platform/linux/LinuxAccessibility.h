#pragma once
// The accessibility port on the Linux desktop: AT-SPI for other applications' trees, actions and events,
// X11 for which window is under a point, XTest for keys, and Quoddle's own windows answered in-process.

#include "platform/Accessibility.h"
#include "platform/linux/AtspiObservers.h"
#include "platform/linux/AtspiTree.h"
#include "platform/linux/OwnWindows.h"
#include "platform/linux/X11KeyPoster.h"

#include <functional>

struct _XDisplay;
using Display = _XDisplay;

namespace quoddle {

class LinuxAccessibility : public Accessibility {
public:
    // The pid of a process without a known AT-SPI application makes the directory read the registry
    // again, once, before giving up (an application that registered a moment ago).
    using RefreshApplications = std::function<void()>;

    LinuxAccessibility(AtspiTree& tree, AtspiEventHub& hub, Display* display, const OwnWindows& ownWindows,
                       X11KeyPoster& keyPoster, ProcessId ownPid, RefreshApplications refreshApplications);

    bool isAPIEnabled() const override;
    AXUIElementRef createSystemWide() override { return tree_.systemWideElement(); }
    AXUIElementRef createApplication(ProcessId pid) override;
    AXResult<AXUIElementRef> copyElementAtPosition(const AXUIElementRef& systemWide, float x,
                                                   float y) override;
    AXResult<AXAttributeValue> copyAttributeValue(const AXUIElementRef& element,
                                                  const std::string& attribute) override;
    AXResult<std::vector<std::string>> copyAttributeNames(const AXUIElementRef& element) override;
    AXResult<std::vector<std::string>> copyActionNames(const AXUIElementRef& element) override;
    AXError performAction(const AXUIElementRef& element, const std::string& action) override;
    AXResult<ProcessId> getPid(const AXUIElementRef& element) override;
    // Keys go to the window that has the focus, which is the active application's.
    AXError postKeyboardEvent(const AXUIElementRef& application, char16_t character, std::uint16_t virtualKey,
                              bool keyDown) override;
    AXResult<AXObserverRef> createObserver(ProcessId pid, AXObserverCallback callback) override;

    // A left press as the input monitor saw it, with Quoddle's own widget under it at that moment. The core
    // looks up the pressed element later, from the main loop; by then a click on a palette button may
    // already have hidden the palette, and the press must still count as one in this process.
    void notePress(Point at, std::optional<OwnWindowHit> own);
    // The left button came up: the element pressed last may hold a new selection.
    void releaseSeen();
    // The element of another application the core's last hit test found in that process, where the user
    // made the selection the palette acts on; null when the last hit was elsewhere.
    AXUIElementRef lastHitElementOf(ProcessId pid) const;

private:
    AtspiTree& tree_;
    AtspiEventHub& hub_;
    Display* display_;
    const OwnWindows& ownWindows_;
    X11KeyPoster& keyPoster_;
    ProcessId ownPid_;
    RefreshApplications refreshApplications_;
    std::optional<std::pair<Point, OwnWindowHit>> ownPress_;
    AXUIElementRef pressedElement_; // what the core's last hit test found, until the button comes up
    AXUIElementRef lastHit_;        // the same, kept
};

} // namespace quoddle
