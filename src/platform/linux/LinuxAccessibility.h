#pragma once
// The accessibility port on the Linux desktop: AT-SPI for other applications' trees, actions and events,
// X11 for which window is under a point, XTest for keys, and Quoddle's own windows answered in-process.

#include "platform/Accessibility.h"
#include "platform/linux/OwnWindows.h"
#include "platform/linux/PlainWindowSelections.h"
#include "platform/linux/ShortcutStrokes.h"
#include "platform/linux/atspi/AtspiObservers.h"
#include "platform/linux/atspi/AtspiTree.h"

#include "platform/linux/x11/X11Windows.h"

#include <functional>

struct _XDisplay;
using Display = _XDisplay;

namespace quoddle {

class LinuxAccessibility : public Accessibility {
public:
    // The pid of a process without a known AT-SPI application makes the directory read the registry
    // again, once, before giving up (an application that registered a moment ago).
    using RefreshApplications = std::function<void()>;
    // An application without AT-SPI was pressed: the workspace lists it from then on.
    using NotePlainApplication = std::function<void(const RunningApplication&)>;

    // X pixels per point of the core's.
    using DeviceScale = std::function<double()>;

    LinuxAccessibility(AtspiTree& tree, AtspiEventHub& hub, Display* display, const OwnWindows& ownWindows,
                       ShortcutStrokes& strokes, ProcessId ownPid, RefreshApplications refreshApplications,
                       NotePlainApplication notePlainApplication, DeviceScale deviceScale);

    bool isEnabled() const override;
    ax::ElementRef systemWideElement() override { return tree_.systemWideElement(); }
    ax::ElementRef applicationElement(ProcessId pid) override;
    ax::Result<ax::ElementRef> elementAt(const ax::ElementRef& systemWide, float x, float y) override;
    ax::Result<ax::Value> attribute(const ax::ElementRef& element, ax::Attribute attribute) override;
    ax::Result<std::vector<ax::Attribute>> attributeNames(const ax::ElementRef& element) override;
    ax::Result<std::vector<ax::Action>> actionNames(const ax::ElementRef& element) override;
    ax::Error perform(const ax::ElementRef& element, ax::Action action) override;
    ax::Result<ProcessId> pid(const ax::ElementRef& element) override;
    // Keys go to the window that has the focus, which is the active application's; ShortcutStrokes decides
    // what a stroke does there.
    ax::Error postKeyStroke(const ax::ElementRef& application, const KeyStroke& stroke) override;
    ax::Result<ax::ObserverRef> createObserver(ProcessId pid, ax::ObserverCallback callback) override;

    // A left press as the input monitor saw it, with Quoddle's own widget under it at that moment. The core
    // looks up the pressed element later, from the main loop; by then a click on a palette button may
    // already have hidden the palette, and the press must still count as one in this process.
    void notePress(Point at, std::optional<OwnWindowHit> own);
    // The left button came up there: the element pressed last may hold a new selection.
    void releaseSeen(Point at);
    // The next hit test finds this element, wherever the point: the press of a gesture in a Wayland
    // window, whose element is known from its selection events and whose place on the screen is not.
    void guessPressOn(const ax::ElementRef& element) { guessedPress_ = element; }
    // The element of another application the core's last hit test found in that process, where the user
    // made the selection the palette acts on; null when the last hit was elsewhere.
    ax::ElementRef lastHitElementOf(ProcessId pid) const;
    // Whether that element is a terminal, and one whose text accessibility shows.
    ShortcutStrokes::Terminal terminalOf(ProcessId pid);
    // The PRIMARY selection has a new owner, of that process if known.
    void primaryOwnerChanged(std::optional<ProcessId> pid) { plainSelections_.ownerChanged(pid); }

private:
    ax::ElementRef plainWindowAt(const TopLevelWindow& top);

    AtspiTree& tree_;
    AtspiEventHub& hub_;
    Display* display_;
    const OwnWindows& ownWindows_;
    ShortcutStrokes& strokes_;
    ProcessId ownPid_;
    RefreshApplications refreshApplications_;
    NotePlainApplication notePlainApplication_;
    DeviceScale deviceScale_;
    PlainWindowSelections plainSelections_;
    std::optional<std::pair<Point, OwnWindowHit>> ownPress_;
    ax::ElementRef pressedElement_; // what the core's last hit test found, until the button comes up
    ax::ElementRef guessedPress_;   // what the next hit test finds, whatever the point (guessPressOn)
    Point pressAt_;                 // where the last left press was
    ax::ElementRef lastHit_;        // the same, kept
};

} // namespace quoddle
