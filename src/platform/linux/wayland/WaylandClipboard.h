#pragma once
// The Wayland session's clipboard, which Wayland windows paste from. Quoddle's windows are X windows (under
// XWayland), and the compositor does not hand an X client's clipboard to Wayland windows unless that client
// has the keyboard focus, which the palette never takes. wl-clipboard's programs (wl-copy, wl-paste) reach
// it instead, through the compositor's data-control protocol.

#include <chrono>
#include <optional>
#include <string>

namespace quoddle {

class WaylandClipboard {
public:
    // False when wl-copy is not installed or did not take the text (it then stays behind, serving it).
    static bool copy(const std::string& text);
    // The clipboard's text; none when it holds none, or wl-paste is missing or does not answer in time.
    static std::optional<std::string>
    text(std::chrono::milliseconds deadline = std::chrono::milliseconds(500));
};

} // namespace quoddle
