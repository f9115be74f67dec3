#pragma once
// Selections made in Wayland windows, brought to the core as the press and release it knows from X11: the
// drag trigger says when; where the pointer was let go says where, where the compositor tells it, else
// the selection's end (moved by the window's place, where the compositor tells that); and the press finds
// the element whose selection it is.

#include "platform/linux/LinuxAccessibility.h"
#include "platform/linux/atspi/AtspiTree.h"
#include "platform/linux/qt/QtUi.h"
#include "platform/linux/wayland/GnomeShellHelper.h"
#include "platform/linux/wayland/SelectionDragTrigger.h"
#include "platform/linux/wayland/SwayWindows.h"
#include "platform/linux/wayland/WaylandSession.h"
#include "platform/linux/x11/XRecordInput.h"

#include <functional>
#include <optional>
#include <set>

namespace quoddle {

class WaylandGestures {
public:
    // X says which window is active only among its own: a drag in a Wayland window makes its
    // application the active one (`activated`), as the press of that drag gave it the focus.
    WaylandGestures(const WaylandSession& session, RunLoop& runLoop, AtspiTree& tree,
                    LinuxAccessibility& accessibility, QtPointer& pointer, XRecordInput& input,
                    std::function<void(ProcessId)> activated);

    // An application reported a selection change (before the core hears of it).
    void selectionReported(const ax::ElementRef& element) { trigger_.selectionChanged(element); }
    // Where input the X server recorded (in Quoddle's palette, or in an X application) happened, in event
    // coordinates; the pointer is seen again from then on. XWayland records buttons with root coordinates
    // hundreds of pixels off (by another amount each time), while asking for the pointer is right over its
    // windows.
    Point placeOfRecorded();
    // A recorded left button: the bursts of X applications are not guessed (a press in Quoddle's own window
    // claims none: the next drag may follow a click on the palette at once).
    void recorded(const InputEvent& event, bool inOwnWindow);
    // Whether a selection of the process came without recorded buttons: its windows are Wayland's, out of
    // reach of posted keys.
    bool isWaylandClient(ProcessId pid) const { return waylandClients_.count(pid) != 0; }

private:
    void guess(const ax::ElementRef& element, InputEvent::Kind kind, std::optional<Point> releasedAt);
    std::optional<Point> placeOf(const AtspiElement& element);
    std::optional<Point> windowOrigin(ProcessId pid);

    AtspiTree& tree_;
    LinuxAccessibility& accessibility_;
    QtPointer& pointer_;
    XRecordInput& input_;
    std::function<void(ProcessId)> activated_;
    std::optional<SwayWindows> sway_;
    std::optional<GnomeShellHelper> gnomeShell_;
    SelectionDragTrigger trigger_;
    std::set<ProcessId> waylandClients_;
    bool pressInOwnWindow_ = false;
};

} // namespace quoddle
