#include "platform/linux/LinuxAccessibility.h"

#include "platform/linux/atspi/AccessibilityStatus.h"
#include "platform/linux/x11/X11Windows.h"

#include <cctype>
#include <cmath>
#include <utility>

namespace quoddle {

namespace {

// Terminals that show no text through accessibility, by their window's class.
bool isTerminalClass(const WindowClass& windowClass) {
    static const char* const kTerminals[] = {"xterm",  "uxterm",  "urxvt",       "rxvt",  "alacritty",
                                             "kitty",  "st",      "st-256color", "eterm", "aterm",
                                             "mlterm", "wezterm", "foot"};
    auto lowercase = [](std::string text) {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    for (const std::string& name : {lowercase(windowClass.instance), lowercase(windowClass.name)})
        for (const char* terminal : kTerminals)
            if (name == terminal) return true;
    return false;
}

} // namespace

LinuxAccessibility::LinuxAccessibility(AtspiTree& tree, AtspiEventHub& hub, Display* display,
                                       const OwnWindows& ownWindows, ShortcutStrokes& strokes,
                                       ProcessId ownPid, RefreshApplications refreshApplications,
                                       NotePlainApplication notePlainApplication, DeviceScale deviceScale)
    : tree_(tree), hub_(hub), display_(display), ownWindows_(ownWindows), strokes_(strokes), ownPid_(ownPid),
      refreshApplications_(std::move(refreshApplications)),
      notePlainApplication_(std::move(notePlainApplication)), deviceScale_(std::move(deviceScale)),
      plainSelections_(
          [this](ProcessId pid, const ax::ElementRef& window) { hub_.reportSelection(pid, window); }) {}

bool LinuxAccessibility::isEnabled() const {
    return accessibilityIsEnabled();
}

ax::ElementRef LinuxAccessibility::applicationElement(ProcessId pid) {
    if (pid <= 0) return nullptr;
    return tree_.applicationElement(pid);
}

ax::Result<ax::ElementRef> LinuxAccessibility::elementAt(const ax::ElementRef& systemWide, float x, float y) {
    const AtspiElement* origin = atspiElementOf(systemWide);
    if (!origin || origin->kind != AtspiElementKind::systemWide) return {ax::Error::illegalArgument};
    // Other applications and the X server count X pixels.
    const double scale = deviceScale_ ? deviceScale_() : 1.0;
    const int px = static_cast<int>(x * scale), py = static_cast<int>(y * scale);
    if (ax::ElementRef guessed = std::exchange(guessedPress_, nullptr)) {
        plainSelections_.pressedElsewhere();
        pressedElement_ = lastHit_ = guessed;
        return {ax::Error::success, guessed};
    }
    if (ownPress_) {
        // The press of this lookup landed on Quoddle's own widget, whatever has happened to it since.
        const auto [at, own] = *std::exchange(ownPress_, std::nullopt);
        if (std::abs(at.x - x) <= 2 && std::abs(at.y - y) <= 2)
            return {ax::Error::success, tree_.ownWidgetElement(own)};
    }
    // X knows which window is on top; AT-SPI only knows each application's own windows.
    std::optional<TopLevelWindow> top = topLevelWindowAt(display_, px, py);
    if (!top || !top->pid) return {ax::Error::noValue};
    if (*top->pid == ownPid_) {
        std::optional<OwnWindowHit> own = ownWindows_.hitTest(Point{x, y});
        if (!own) return {ax::Error::noValue};
        return {ax::Error::success, tree_.ownWidgetElement(*own)};
    }
    ax::Result<ax::ElementRef> hit = tree_.elementAtPoint(*top->pid, px, py, top->frame);
    if (!hit && hit.error == ax::Error::cannotComplete && refreshApplications_) {
        refreshApplications_();
        hit = tree_.elementAtPoint(*top->pid, px, py, top->frame);
    }
    if (const AtspiElement* found = hit ? atspiElementOf(hit.value) : nullptr;
        found && tree_.hasText(*found)) {
        plainSelections_.pressedElsewhere();
    } else {
        // No text that accessibility shows: the PRIMARY selection tells whether this press selects.
        ax::ElementRef window = plainWindowAt(*top);
        plainSelections_.pressedWithoutText(*top->pid, window);
        if (!hit) hit = {ax::Error::success, window};
    }
    pressedElement_ = hit ? hit.value : nullptr;
    lastHit_ = pressedElement_;
    return hit;
}

ax::ElementRef LinuxAccessibility::lastHitElementOf(ProcessId pid) const {
    const AtspiElement* hit = atspiElementOf(lastHit_);
    return hit && hit->pid == pid ? lastHit_ : nullptr;
}

void LinuxAccessibility::releaseSeen(Point at) {
    // A GTK entry that a drag's press has just focused reports that drag's selection by no event at all:
    // the pressed element is asked once the button is up, as the original platform's applications tell.
    constexpr double kDragDistance = 3;
    const bool dragged =
        std::abs(at.x - pressAt_.x) > kDragDistance || std::abs(at.y - pressAt_.y) > kDragDistance;
    if (ax::ElementRef pressed = std::exchange(pressedElement_, nullptr))
        hub_.selectionMayHaveChanged(pressed, dragged);
    plainSelections_.released();
}

void LinuxAccessibility::notePress(Point at, std::optional<OwnWindowHit> own) {
    pressAt_ = at;
    tree_.askAgainAfterAPress();
    if (own)
        ownPress_.emplace(at, *own);
    else
        ownPress_.reset();
}

ax::Result<ax::Value> LinuxAccessibility::attribute(const ax::ElementRef& element, ax::Attribute attribute) {
    const AtspiElement* e = atspiElementOf(element);
    if (!e) return {ax::Error::invalidElement};
    return tree_.attribute(*e, attribute);
}

ax::Result<std::vector<ax::Attribute>> LinuxAccessibility::attributeNames(const ax::ElementRef& element) {
    const AtspiElement* e = atspiElementOf(element);
    if (!e) return {ax::Error::invalidElement};
    return tree_.attributeNames(*e);
}

ax::Result<std::vector<ax::Action>> LinuxAccessibility::actionNames(const ax::ElementRef& element) {
    const AtspiElement* e = atspiElementOf(element);
    if (!e) return {ax::Error::invalidElement};
    return tree_.actionNames(*e);
}

ax::Error LinuxAccessibility::perform(const ax::ElementRef& element, ax::Action action) {
    const AtspiElement* e = atspiElementOf(element);
    if (!e) return ax::Error::invalidElement;
    if (action != ax::Action::press) return ax::Error::actionUnsupported;
    hub_.ownPressStarted(e->pid);
    return tree_.press(*e);
}

ax::Result<ProcessId> LinuxAccessibility::pid(const ax::ElementRef& element) {
    const AtspiElement* e = atspiElementOf(element);
    if (!e) return {ax::Error::invalidElement};
    return tree_.pid(*e);
}

ax::Error LinuxAccessibility::postKeyStroke(const ax::ElementRef& application, const KeyStroke& stroke) {
    const AtspiElement* target = atspiElementOf(application);
    if (!target) return ax::Error::invalidElement;
    return strokes_.post(target->pid, stroke);
}

ShortcutStrokes::Terminal LinuxAccessibility::terminalOf(ProcessId pid) {
    const AtspiElement* hit = atspiElementOf(lastHitElementOf(pid));
    if (!hit) return ShortcutStrokes::Terminal::none;
    ax::Result<ax::Value> role = tree_.attribute(*hit, ax::Attribute::role);
    if (!role || !role.value.get<ax::Role>() || *role.value.get<ax::Role>() != ax::Role::terminal)
        return ShortcutStrokes::Terminal::none;
    return hit->kind == AtspiElementKind::plainWindow ? ShortcutStrokes::Terminal::plain
                                                      : ShortcutStrokes::Terminal::accessible;
}

ax::ElementRef LinuxAccessibility::plainWindowAt(const TopLevelWindow& top) {
    const std::optional<WindowClass> windowClass = quoddle::windowClass(display_, top.window);
    const std::string name = windowClass ? windowClass->name : "Window";
    const ax::Role role =
        windowClass && isTerminalClass(*windowClass) ? ax::Role::terminal : ax::Role::window;
    if (notePlainApplication_) {
        const std::optional<std::string> id = desktopFileIdOfWindow(display_, top.window);
        notePlainApplication_(
            RunningApplication{*top.pid, id.value_or(windowClass ? windowClass->instance : name), name});
    }
    return tree_.plainWindowElement(*top.pid, OwnWindowHit{role, name, top.frame});
}

ax::Result<ax::ObserverRef> LinuxAccessibility::createObserver(ProcessId pid, ax::ObserverCallback callback) {
    if (pid == ownPid_) return {ax::Error::cannotComplete};
    return hub_.createObserver(pid, callback);
}

} // namespace quoddle
