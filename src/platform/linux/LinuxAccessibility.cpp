#include "platform/linux/LinuxAccessibility.h"

#include "platform/linux/AccessibilityStatus.h"
#include "platform/linux/X11Windows.h"

#include <cmath>
#include <utility>

namespace quoddle {

LinuxAccessibility::LinuxAccessibility(AtspiTree& tree, AtspiEventHub& hub, Display* display,
                                       const OwnWindows& ownWindows, X11KeyPoster& keyPoster,
                                       ProcessId ownPid, RefreshApplications refreshApplications)
    : tree_(tree), hub_(hub), display_(display), ownWindows_(ownWindows), keyPoster_(keyPoster),
      ownPid_(ownPid), refreshApplications_(std::move(refreshApplications)) {}

bool LinuxAccessibility::isAPIEnabled() const {
    return accessibilityIsEnabled();
}

AXUIElementRef LinuxAccessibility::createApplication(ProcessId pid) {
    if (pid <= 0) return nullptr;
    return tree_.applicationElement(pid);
}

AXResult<AXUIElementRef> LinuxAccessibility::copyElementAtPosition(const AXUIElementRef& systemWide, float x,
                                                                   float y) {
    const AtspiElement* origin = atspiElementOf(systemWide);
    if (!origin || origin->kind != AtspiElementKind::systemWide) return {kAXErrorIllegalArgument};
    const int px = static_cast<int>(x), py = static_cast<int>(y);
    if (ownPress_) {
        // The press of this lookup landed on Quoddle's own widget, whatever has happened to it since.
        const auto [at, own] = *std::exchange(ownPress_, std::nullopt);
        if (std::abs(at.x - x) <= 2 && std::abs(at.y - y) <= 2)
            return {kAXErrorSuccess, tree_.ownWidgetElement(own)};
    }
    // X knows which window is on top; AT-SPI only knows each application's own windows.
    std::optional<TopLevelWindow> top = topLevelWindowAt(display_, px, py);
    if (!top || !top->pid) return {kAXErrorNoValue};
    if (*top->pid == ownPid_) {
        std::optional<OwnWindowHit> own = ownWindows_.hitTest(Point{x, y});
        if (!own) return {kAXErrorNoValue};
        return {kAXErrorSuccess, tree_.ownWidgetElement(*own)};
    }
    AXResult<AXUIElementRef> hit = tree_.elementAtPoint(*top->pid, px, py);
    if (!hit && hit.error == kAXErrorCannotComplete && refreshApplications_) {
        refreshApplications_();
        hit = tree_.elementAtPoint(*top->pid, px, py);
    }
    pressedElement_ = hit ? hit.value : nullptr;
    lastHit_ = pressedElement_;
    return hit;
}

AXUIElementRef LinuxAccessibility::lastHitElementOf(ProcessId pid) const {
    const AtspiElement* hit = atspiElementOf(lastHit_);
    return hit && hit->pid == pid ? lastHit_ : nullptr;
}

void LinuxAccessibility::releaseSeen() {
    // A GTK entry that a drag's press has just focused reports that drag's selection by no event at all:
    // the pressed element is asked once the button is up, as the original platform's applications tell.
    if (AXUIElementRef pressed = std::exchange(pressedElement_, nullptr))
        hub_.selectionMayHaveChanged(pressed);
}

void LinuxAccessibility::notePress(Point at, std::optional<OwnWindowHit> own) {
    if (own)
        ownPress_.emplace(at, *own);
    else
        ownPress_.reset();
}

AXResult<AXAttributeValue> LinuxAccessibility::copyAttributeValue(const AXUIElementRef& element,
                                                                  const std::string& attribute) {
    const AtspiElement* e = atspiElementOf(element);
    if (!e) return {kAXErrorInvalidUIElement};
    return tree_.attribute(*e, attribute);
}

AXResult<std::vector<std::string>> LinuxAccessibility::copyAttributeNames(const AXUIElementRef& element) {
    const AtspiElement* e = atspiElementOf(element);
    if (!e) return {kAXErrorInvalidUIElement};
    return tree_.attributeNames(*e);
}

AXResult<std::vector<std::string>> LinuxAccessibility::copyActionNames(const AXUIElementRef& element) {
    const AtspiElement* e = atspiElementOf(element);
    if (!e) return {kAXErrorInvalidUIElement};
    return tree_.actionNames(*e);
}

AXError LinuxAccessibility::performAction(const AXUIElementRef& element, const std::string& action) {
    const AtspiElement* e = atspiElementOf(element);
    if (!e) return kAXErrorInvalidUIElement;
    if (action != "AXPress") return kAXErrorActionUnsupported;
    hub_.ownPressStarted(e->pid);
    return tree_.press(*e);
}

AXResult<ProcessId> LinuxAccessibility::getPid(const AXUIElementRef& element) {
    const AtspiElement* e = atspiElementOf(element);
    if (!e) return {kAXErrorInvalidUIElement};
    return tree_.pid(*e);
}

AXError LinuxAccessibility::postKeyboardEvent(const AXUIElementRef& application, char16_t,
                                              std::uint16_t virtualKey, bool keyDown) {
    if (!atspiElementOf(application)) return kAXErrorInvalidUIElement;
    return keyPoster_.postKey(virtualKey, keyDown);
}

AXResult<AXObserverRef> LinuxAccessibility::createObserver(ProcessId pid, AXObserverCallback callback) {
    if (pid == ownPid_) return {kAXErrorCannotComplete};
    return hub_.createObserver(pid, callback);
}

} // namespace quoddle
