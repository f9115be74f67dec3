#pragma once
// Clicks in the menus of Wayland applications, which no client sees, for learning which Services item the
// user chose: while such an application has a menu open, the left button's presses and releases are read
// from the compositor (GNOME Shell's helper) and handed to that application's menu-choice inference, with
// no place, as the menus' places are not known there. GNOME Shell gives its extensions no hook for the
// clicks that go to applications' windows, so the button is asked after, only while such menus are open.

#include "platform/RunLoop.h"
#include "platform/Workspace.h"
#include "platform/linux/atspi/MenuChoiceInference.h"
#include "platform/linux/wayland/SelectionDragTrigger.h"

#include <chrono>
#include <functional>
#include <optional>

namespace quoddle {

class WaylandMenuButtons {
public:
    struct Hooks {
        SelectionDragTrigger::PointerProbe pointer;
        // Whether the application's menus are shown in a Wayland window (an X application's clicks are
        // recorded, in place).
        std::function<bool(ProcessId)> inWaylandWindow;
        std::function<bool(ProcessId)> menusOpen;
        std::function<void(ProcessId, const MenuInput&)> input;
    };
    // A hand's click holds the button far longer.
    static constexpr std::chrono::milliseconds kPoll{8};

    WaylandMenuButtons(RunLoop& runLoop, Hooks hooks) : runLoop_(runLoop), hooks_(std::move(hooks)) {}
    ~WaylandMenuButtons() { stop(); }
    WaylandMenuButtons(const WaylandMenuButtons&) = delete;
    WaylandMenuButtons& operator=(const WaylandMenuButtons&) = delete;

    void menuShown(ProcessId pid);
    // Reads the button now: a menu changed, and the click that changed it must be handed over first.
    void readNow();

private:
    void stop();

    RunLoop& runLoop_;
    Hooks hooks_;
    std::optional<ProcessId> watched_;
    std::optional<TimerId> poll_;
    bool down_ = false;
};

} // namespace quoddle
