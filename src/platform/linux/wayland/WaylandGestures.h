#pragma once
// Selections made in Wayland windows, brought to the core as the press and release it knows from X11: the
// selection-quiet trigger says when, the selection's end says where (moved by the window's place, where
// the compositor tells it), and the press finds the element whose selection it is.

#include "platform/linux/LinuxAccessibility.h"
#include "platform/linux/atspi/AtspiTree.h"
#include "platform/linux/qt/QtUi.h"
#include "platform/linux/wayland/SelectionQuietTrigger.h"
#include "platform/linux/wayland/SwayWindows.h"
#include "platform/linux/wayland/WaylandSession.h"
#include "platform/linux/x11/XRecordInput.h"

#include <optional>

namespace quoddle {

class WaylandGestures {
public:
    WaylandGestures(const WaylandSession& session, RunLoop& runLoop, AtspiTree& tree,
                    LinuxAccessibility& accessibility, QtPointer& pointer, XRecordInput& input);

    // An application reported a selection change (before the core hears of it).
    void selectionReported(const ax::ElementRef& element) { trigger_.selectionChanged(element); }
    // Input the X server recorded (in Quoddle's palette, or in an X application): the pointer is seen
    // again, and its left button's bursts are not guessed.
    void recorded(const InputEvent& event);

private:
    void guess(const ax::ElementRef& element, InputEvent::Kind kind);
    std::optional<Point> placeOf(const AtspiElement& element);

    AtspiTree& tree_;
    LinuxAccessibility& accessibility_;
    QtPointer& pointer_;
    XRecordInput& input_;
    std::optional<SwayWindows> sway_;
    SelectionQuietTrigger trigger_;
};

} // namespace quoddle
