#pragma once
// Port: the workspace: running applications, the active one, workspace notifications, opening URLs.

#include "Library/NotificationCenter.h"

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

// Workspace notification names and user-information keys.
inline constexpr const char* NSWorkspaceDidActivateApplicationNotification =
    "NSWorkspaceDidActivateApplicationNotification";
inline constexpr const char* NSWorkspaceDidDeactivateApplicationNotification =
    "NSWorkspaceDidDeactivateApplicationNotification";
inline constexpr const char* NSWorkspaceDidLaunchApplicationNotification =
    "NSWorkspaceDidLaunchApplicationNotification";
// Holds a RunningApplication.
inline constexpr const char* NSWorkspaceApplicationKey = "NSWorkspaceApplicationKey";
// Holds the launched application's bundle identifier as a std::string.
inline constexpr const char* NSApplicationBundleIdentifierKey = "NSApplicationBundleIdentifier";

class Workspace {
public:
    virtual ~Workspace() = default;
    // In the platform's order.
    virtual std::vector<RunningApplication> runningApplications() const = 0;
    virtual std::optional<RunningApplication>
    runningApplicationWithProcessIdentifier(ProcessId pid) const = 0;
    virtual std::vector<RunningApplication>
    runningApplicationsWithBundleIdentifier(const std::string& bundleIdentifier) const = 0;
    virtual std::optional<RunningApplication> activeApplication() const = 0;
    virtual RunningApplication currentApplication() const = 0;
    // Where activation, deactivation and launch notifications are posted, on the main thread.
    virtual NotificationCenter& notificationCenter() = 0;
    // The preference-panes directories of the system domain, tilde expanded.
    virtual std::vector<std::string> systemPreferencePanesDirectories() const = 0;
    virtual bool openURL(const std::string& url) = 0;
};

} // namespace quoddle
