#pragma once
// Follows the window manager's active window (the root's _NET_ACTIVE_WINDOW) on a connection of its own,
// read on the Qt main loop, and reports the process of each newly active window.

#include "platform/Workspace.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quoddle {

class X11ActiveWindowWatch {
public:
    // Called on the main loop when the active window changes (to another window, or to none), with its
    // _NET_WM_PID (none when no window is active or it has no pid).
    using Handler = std::function<void(std::optional<ProcessId> pid)>;

    explicit X11ActiveWindowWatch(Handler handler, std::string displayName = {});
    ~X11ActiveWindowWatch();
    X11ActiveWindowWatch(const X11ActiveWindowWatch&) = delete;
    X11ActiveWindowWatch& operator=(const X11ActiveWindowWatch&) = delete;

    // Opens the connection and reads the current active window (without calling the handler). True when
    // already watching. Needs a QCoreApplication for changes to arrive by themselves; processPending()
    // reads them otherwise.
    bool start(std::string* reason = nullptr);
    void stop();
    bool isWatching() const;

    // Reads every event that has arrived and, when the active window changed, calls the handler.
    void processPending();

    std::optional<unsigned long> activeWindow() const { return window_; }
    std::optional<ProcessId> activePid() const { return pid_; }

private:
    struct Connection;
    bool readEvents();
    void refresh(bool notify);

    Handler handler_;
    std::string displayName_;
    std::unique_ptr<Connection> connection_;
    std::optional<unsigned long> window_;
    std::optional<ProcessId> pid_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace quoddle
