#pragma once
// The simulated workspace: running applications in launch order, the active one, and the workspace
// notifications a user's launching, activating and quitting would cause.

#include "platform/Workspace.h"

#include <functional>
#include <string>
#include <vector>

namespace quoddle {

class SimWorkspace : public Workspace {
public:
    explicit SimWorkspace(RunningApplication current);

    std::vector<RunningApplication> runningApplications() const override { return applications_; }
    std::optional<RunningApplication> applicationWithPid(ProcessId pid) const override;
    std::vector<RunningApplication>
    applicationsWithBundleIdentifier(const std::string& bundleIdentifier) const override;
    std::optional<RunningApplication> activeApplication() const override;
    RunningApplication currentApplication() const override { return current_; }
    NotificationCenter& notificationCenter() override { return center_; }
    void openAccessibilitySettings() override { ++accessibilitySettingsOpened; }

    // What a user or the system does. Launching posts the launch notification; activating posts the
    // deactivation of the previously active application, then the activation.
    // `starting` runs after the process exists and before the launch is announced.
    using Starting = std::function<void(const RunningApplication&)>;
    RunningApplication launch(const std::string& localizedName, const std::string& bundleIdentifier,
                              const Starting& starting = {});
    // An application without a bundle identifier or without a name.
    RunningApplication launchUnnamedOrUnbundled(std::optional<std::string> localizedName,
                                                std::optional<std::string> bundleIdentifier,
                                                const Starting& starting = {});
    void activate(ProcessId pid);
    // The active application is deactivated and none is active, as some window managers pass through on
    // the way from one application to the next.
    void deactivateAll();
    void quit(ProcessId pid);

    int accessibilitySettingsOpened = 0;

private:
    NotificationCenter center_;
    RunningApplication current_;
    std::vector<RunningApplication> applications_;
    ProcessId activePid_ = -1;
    ProcessId nextPid_ = 501;
};

} // namespace quoddle
