#include "platform/linux/wayland/WaylandGestures.h"

namespace quoddle {

WaylandGestures::WaylandGestures(const WaylandSession& session, RunLoop& runLoop, AtspiTree& tree,
                                 LinuxAccessibility& accessibility, QtPointer& pointer, XRecordInput& input,
                                 std::function<void(ProcessId)> activated)
    : tree_(tree), accessibility_(accessibility), pointer_(pointer), input_(input),
      activated_(std::move(activated)),
      trigger_(runLoop, {[this](const ax::ElementRef& e) { guess(e, InputEvent::Kind::buttonPress); },
                         [this](const ax::ElementRef& e) { guess(e, InputEvent::Kind::buttonRelease); }}) {
    if (session.compositor == WaylandCompositor::sway) sway_.emplace(session.swaySocket);
}

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

std::optional<Point> WaylandGestures::placeOf(const AtspiElement& element) {
    if (sway_)
        if (std::optional<Point> origin = sway_->windowOrigin(element.pid))
            tree_.setWindowOrigin(element.pid, *origin);
    if (std::optional<Point> end = tree_.selectionEndPoint(element)) return end;
    // A selection the toolkit gives no place for: beside the element.
    if (std::optional<Rect> frame =
            element.accessible ? tree_.extents(element.accessible.get()) : std::nullopt)
        return Point{(frame->minX() + frame->maxX()) / 2, (frame->minY() + frame->maxY()) / 2};
    return std::nullopt;
}

void WaylandGestures::guess(const ax::ElementRef& element, InputEvent::Kind kind) {
    const AtspiElement* pressed = atspiElementOf(element);
    if (!pressed) return;
    waylandClients_.insert(pressed->pid);
    InputEvent event{.kind = kind, .detail = 1};
    if (kind == InputEvent::Kind::buttonPress) {
        // Where the press was does not matter: the element is known, and the palette goes where the
        // release is.
        activated_(pressed->pid);
        accessibility_.guessPressOn(element);
    } else if (std::optional<Point> at = placeOf(*pressed)) {
        // X pixels, as recorded events have them; the core counts Qt's.
        const double scale = deviceScale();
        event.rootX = static_cast<int>(at->x);
        event.rootY = static_cast<int>(at->y);
        pointer_.holdAt(Point{at->x / scale, at->y / scale});
    }
    input_.deliverGuessed(event);
}

} // namespace quoddle
