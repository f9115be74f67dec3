#include "platform/linux/wayland/WaylandGestures.h"

namespace quoddle {

WaylandGestures::WaylandGestures(const WaylandSession& session, RunLoop& runLoop, AtspiTree& tree,
                                 LinuxAccessibility& accessibility, QtPointer& pointer, XRecordInput& input,
                                 std::function<void(ProcessId)> activated)
    : tree_(tree), accessibility_(accessibility), pointer_(pointer), input_(input),
      activated_(std::move(activated)),
      sway_(session.compositor == WaylandCompositor::sway ? std::optional<SwayWindows>(session.swaySocket)
                                                          : std::nullopt),
      gnomeShell_(session.compositor == WaylandCompositor::gnome
                      ? std::optional<GnomeShellHelper>(std::in_place)
                      : std::nullopt),
      trigger_(runLoop,
               {[this](const ax::ElementRef& e) { guess(e, InputEvent::Kind::buttonPress, std::nullopt); },
                [this](const ax::ElementRef& e, std::optional<Point> at) {
                    guess(e, InputEvent::Kind::buttonRelease, at);
                }},
               gnomeShell_ ? SelectionDragTrigger::PointerProbe([this] { return gnomeShell_->pointer(); })
                           : nullptr) {}

Point WaylandGestures::placeOfRecorded() {
    pointer_.holdAt(std::nullopt);
    return pointer_.eventLocation();
}

void WaylandGestures::recorded(const InputEvent& event, bool inOwnWindow) {
    const bool press = event.kind == InputEvent::Kind::buttonPress;
    if (event.guessed || event.detail != 1 || !(press || event.kind == InputEvent::Kind::buttonRelease))
        return;
    // The release goes with its press, wherever the palette has gone meanwhile.
    if (press) pressInOwnWindow_ = inOwnWindow;
    if (!pressInOwnWindow_) trigger_.recordedButton(press);
}

std::optional<Point> WaylandGestures::windowOrigin(ProcessId pid) {
    if (sway_) return sway_->windowOrigin(pid);
    if (gnomeShell_) return gnomeShell_->windowOrigin(pid);
    return std::nullopt;
}

std::optional<Point> WaylandGestures::placeOf(const AtspiElement& element) {
    if (std::optional<Point> origin = windowOrigin(element.pid)) tree_.setWindowOrigin(element.pid, *origin);
    if (std::optional<Point> end = tree_.selectionEndPoint(element)) return end;
    // A selection the toolkit gives no place for: beside the element.
    if (std::optional<Rect> frame =
            element.accessible ? tree_.extents(element.accessible.get()) : std::nullopt)
        return Point{(frame->minX() + frame->maxX()) / 2, (frame->minY() + frame->maxY()) / 2};
    return std::nullopt;
}

void WaylandGestures::guess(const ax::ElementRef& element, InputEvent::Kind kind,
                            std::optional<Point> releasedAt) {
    const AtspiElement* pressed = atspiElementOf(element);
    if (!pressed) return;
    waylandClients_.insert(pressed->pid);
    InputEvent event{.kind = kind, .detail = 1};
    if (kind == InputEvent::Kind::buttonPress) {
        // Where the press was does not matter: the element is known, and the palette goes where the
        // release is.
        activated_(pressed->pid);
        accessibility_.guessPressOn(element);
    } else if (std::optional<Point> at = releasedAt ? releasedAt : placeOf(*pressed)) {
        // X pixels, as recorded events have them; the core counts Qt's.
        const double scale = deviceScale();
        event.rootX = static_cast<int>(at->x);
        event.rootY = static_cast<int>(at->y);
        pointer_.holdAt(Point{at->x / scale, at->y / scale});
    }
    input_.deliverGuessed(event);
}

} // namespace quoddle
