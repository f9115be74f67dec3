#pragma once
// Where sway shows each application's window, asked over its IPC socket (sway-ipc(7): GET_TREE). Wayland
// applications report their accessibility extents from their window's corner, and only the compositor
// knows where that corner is on the screen.

#include "platform/Geometry.h"
#include "platform/Workspace.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace quoddle {

// The screen point of the top-left corner of the content of the process's window, in a GET_TREE reply: its
// focused window, else its first visible one. None when the process shows none, or the text is no tree.
std::optional<Point> swayWindowOrigin(std::string_view treeJson, ProcessId pid);

class SwayWindows {
public:
    explicit SwayWindows(std::string socketPath) : socketPath_(std::move(socketPath)) {}

    // Asks sway afresh (windows move); gives up after the deadline, as a compositor that stalls must not
    // stall Quoddle.
    std::optional<Point> windowOrigin(ProcessId pid,
                                      std::chrono::milliseconds deadline = std::chrono::milliseconds(200));

private:
    std::optional<std::string> tree(std::chrono::milliseconds deadline);

    std::string socketPath_;
};

} // namespace quoddle
