#pragma once
// The Wayland session's clipboard, which Wayland windows paste from, where the compositor does not hand it
// to Quoddle's X windows (xClipboardReachesWaylandWindows): there wl-clipboard's programs (wl-copy,
// wl-paste) reach it, through the compositor's data-control protocol.

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
