#pragma once
// The workspace on an X11 session: the applications registered with AT-SPI, the active one from the window
// manager (_NET_ACTIVE_WINDOW; AT-SPI's window events are noisy for Qt, so they are not used), and the
// notifications of launches, activations and deactivations, posted on the main loop.

#include "platform/RunLoop.h"
#include "platform/Workspace.h"
#include "platform/linux/AtspiApplications.h"

#include <functional>
#include <optional>
#include <string>

namespace quoddle {

class LinuxWorkspace : public Workspace {
public:
    // Opens a URL outside Quoddle (the desktop's handler); true when it was handed over.
    using OpenExternalURL = std::function<bool(const std::string& url)>;
    // The system's accessibility settings, which the core opens as a preference pane of that name.
    using OpenAccessibilitySettings = std::function<void()>;

    LinuxWorkspace(AtspiApplications& applications, RunLoop& runLoop, RunningApplication current,
                   OpenExternalURL openExternalURL, OpenAccessibilitySettings openAccessibilitySettings);

    std::vector<RunningApplication> runningApplications() const override { return applications_.running(); }
    std::optional<RunningApplication> runningApplicationWithProcessIdentifier(ProcessId pid) const override;
    std::vector<RunningApplication>
    runningApplicationsWithBundleIdentifier(const std::string& bundleIdentifier) const override;
    std::optional<RunningApplication> activeApplication() const override;
    RunningApplication currentApplication() const override { return current_; }
    NotificationCenter& notificationCenter() override { return center_; }
    std::vector<std::string> systemPreferencePanesDirectories() const override;
    bool openURL(const std::string& url) override;

    // The set of registered applications changed: read it again (coalesced on the main loop) and announce
    // the new ones.
    void applicationsChanged();
    // The same at once (an application is met that is not known yet).
    void refreshApplications();
    // The window manager activated a window of this process (none: no window).
    void activeProcessChanged(std::optional<ProcessId> pid);

private:
    AtspiApplications& applications_;
    RunLoop& runLoop_;
    RunningApplication current_;
    OpenExternalURL openExternalURL_;
    OpenAccessibilitySettings openAccessibilitySettings_;
    NotificationCenter center_;
    std::optional<ProcessId> activePid_;
    bool rescanQueued_ = false;
    std::optional<TimerId> retryTimer_;
    int retries_ = 0;
};

// Where the core looks for the accessibility preference pane; the workspace opens the system's
// accessibility settings for it.
inline constexpr const char* kLinuxPreferencePanesDirectory = "/usr/share/quoddle/preference-panes";

} // namespace quoddle
