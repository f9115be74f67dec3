#pragma once
// The workspace on an X11 session: the applications registered with AT-SPI, the active one from the window
// manager (_NET_ACTIVE_WINDOW; AT-SPI's window events are noisy for Qt, so they are not used), and the
// notifications of launches, activations and deactivations, posted on the main loop.

#include "platform/RunLoop.h"
#include "platform/Workspace.h"
#include "platform/linux/atspi/AtspiApplications.h"

#include <functional>
#include <optional>
#include <string>

namespace quoddle {

class LinuxWorkspace : public Workspace {
public:
    // Offers to turn on the desktop's accessibility.
    using OpenAccessibilitySettings = std::function<void()>;

    LinuxWorkspace(AtspiApplications& applications, RunLoop& runLoop, RunningApplication current,
                   OpenAccessibilitySettings openAccessibilitySettings);

    std::vector<RunningApplication> runningApplications() const override;
    std::optional<RunningApplication> applicationWithPid(ProcessId pid) const override;
    std::vector<RunningApplication>
    applicationsWithBundleIdentifier(const std::string& bundleIdentifier) const override;
    std::optional<RunningApplication> activeApplication() const override;
    RunningApplication currentApplication() const override { return current_; }
    NotificationCenter& notificationCenter() override { return center_; }
    void openAccessibilitySettings() override {
        if (openAccessibilitySettings_) openAccessibilitySettings_();
    }

    // The set of registered applications changed: read it again (coalesced on the main loop) and announce
    // the new ones.
    void applicationsChanged();
    // The same at once (an application is met that is not known yet).
    void refreshApplications();
    // An application without AT-SPI that the user pressed in: listed (and announced, on the main loop) from
    // then on, while its process lives.
    void notePlainApplication(const RunningApplication& application);
    // The window manager activated a window of this process (none: no window).
    void activeProcessChanged(std::optional<ProcessId> pid);

private:
    AtspiApplications& applications_;
    RunLoop& runLoop_;
    RunningApplication current_;
    OpenAccessibilitySettings openAccessibilitySettings_;
    NotificationCenter center_;
    std::optional<ProcessId> activePid_;
    std::vector<RunningApplication> plainApplications_;
    bool rescanQueued_ = false;
    std::optional<TimerId> retryTimer_;
    int retries_ = 0;
};

} // namespace quoddle
