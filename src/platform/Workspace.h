#pragma once
// Port: the workspace: running applications, the active one, workspace notifications, the desktop's
// accessibility settings.

#include "support/NotificationCenter.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quoddle {

using ProcessId = std::int32_t;

struct RunningApplication {
    ProcessId processIdentifier = -1;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> localizedName;
    friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

// Workspace notification names and user-information keys, as the original platform names them.
inline constexpr const char* kApplicationActivatedNotification =
    "NSWorkspaceDidActivateApplicationNotification";
inline constexpr const char* kApplicationDeactivatedNotification =
    "NSWorkspaceDidDeactivateApplicationNotification";
inline constexpr const char* kApplicationLaunchedNotification = "NSWorkspaceDidLaunchApplicationNotification";
// Holds a RunningApplication.
inline constexpr const char* kApplicationKey = "NSWorkspaceApplicationKey";
// Holds the launched application's bundle identifier as a std::string.
inline constexpr const char* kBundleIdentifierKey = "NSApplicationBundleIdentifier";

class Workspace {
public:
    virtual ~Workspace() = default;
    // In the platform's order.
    virtual std::vector<RunningApplication> runningApplications() const = 0;
    virtual std::optional<RunningApplication> applicationWithPid(ProcessId pid) const = 0;
    virtual std::vector<RunningApplication>
    applicationsWithBundleIdentifier(const std::string& bundleIdentifier) const = 0;
    virtual std::optional<RunningApplication> activeApplication() const = 0;
    virtual RunningApplication currentApplication() const = 0;
    // Where activation, deactivation and launch notifications are posted, on the main thread. A deactivation
    // is posted after the new active application is known, so activeApplication() names it then.
    virtual NotificationCenter& notificationCenter() = 0;
    // Opens the place where the user turns on the desktop's accessibility.
    virtual void openAccessibilitySettings() = 0;
};

} // namespace quoddle
