#pragma once
// Quoddle's GNOME Shell extension (quoddle@quoddle.org), asked over the session bus: where the pointer
// is, whether its left button is down, and where a process's window is. GNOME gives no application these
// on Wayland, and the Shell itself has them.

#include "platform/Geometry.h"
#include "platform/Workspace.h"

#include <chrono>
#include <optional>
#include <string>

namespace quoddle {

struct PointerReading {
    Point at; // in the compositor's pixels, as X's are on XWayland
    bool leftButtonDown = false;
    friend bool operator==(const PointerReading&, const PointerReading&) = default;
};

class GnomeShellHelper {
public:
    static constexpr const char* kExtension = "quoddle@quoddle.org";

    // A Shell that takes longer is busy or hung: Quoddle goes on without it rather than wait.
    explicit GnomeShellHelper(std::chrono::milliseconds deadline = std::chrono::milliseconds(100))
        : deadline_(deadline) {}

    // Whether the extension is on and answering.
    bool running() const { return pointer().has_value(); }
    // None while the extension is off, or the Shell does not answer in time.
    std::optional<PointerReading> pointer() const;
    std::optional<Point> windowOrigin(ProcessId pid) const;
    // Asks GNOME Shell to turn the extension on for this user; none when it did, else why not, in words.
    static std::optional<std::string> turnOnExtension();

private:
    std::chrono::milliseconds deadline_;
};

} // namespace quoddle
