#include "platform/linux/LinuxWorkspace.h"

namespace quoddle {

namespace {
constexpr int kNameRetries = 8;
constexpr std::chrono::milliseconds kNameRetryInterval{250};
} // namespace

LinuxWorkspace::LinuxWorkspace(AtspiApplications& applications, RunLoop& runLoop, RunningApplication current,
                               OpenExternalURL openExternalURL,
                               OpenAccessibilitySettings openAccessibilitySettings)
    : applications_(applications), runLoop_(runLoop), current_(std::move(current)),
      openExternalURL_(std::move(openExternalURL)),
      openAccessibilitySettings_(std::move(openAccessibilitySettings)) {}

std::optional<RunningApplication>
LinuxWorkspace::runningApplicationWithProcessIdentifier(ProcessId pid) const {
    if (pid == current_.processIdentifier) return current_;
    return applications_.find(pid);
}

std::vector<RunningApplication>
LinuxWorkspace::runningApplicationsWithBundleIdentifier(const std::string& bundleIdentifier) const {
    std::vector<RunningApplication> matching;
    for (const RunningApplication& application : applications_.running())
        if (application.bundleIdentifier == bundleIdentifier) matching.push_back(application);
    return matching;
}

std::optional<RunningApplication> LinuxWorkspace::activeApplication() const {
    if (!activePid_) return std::nullopt;
    if (auto known = runningApplicationWithProcessIdentifier(*activePid_)) return known;
    // An application without accessibility still takes keys: it is active all the same.
    return RunningApplication{*activePid_, std::nullopt, std::nullopt};
}

std::vector<std::string> LinuxWorkspace::systemPreferencePanesDirectories() const {
    return {kLinuxPreferencePanesDirectory};
}

bool LinuxWorkspace::openURL(const std::string& url) {
    const std::string accessibilityPane = "/UniversalAccessPref.prefPane";
    if (url.starts_with("file://") && url.ends_with(accessibilityPane)) {
        if (openAccessibilitySettings_) openAccessibilitySettings_();
        return true;
    }
    return openExternalURL_ && openExternalURL_(url);
}

void LinuxWorkspace::applicationsChanged() {
    // A registration comes as a burst of events: read the registry once for all of them.
    if (rescanQueued_) return;
    rescanQueued_ = true;
    runLoop_.post([this] {
        rescanQueued_ = false;
        retries_ = 0;
        refreshApplications();
    });
}

void LinuxWorkspace::refreshApplications() {
    for (const RunningApplication& application : applications_.rescan()) {
        std::map<std::string, std::any> userInfo{{NSWorkspaceApplicationKey, application}};
        if (application.bundleIdentifier)
            userInfo.emplace(NSApplicationBundleIdentifierKey, *application.bundleIdentifier);
        center_.postNotificationName(NSWorkspaceDidLaunchApplicationNotification, this, std::move(userInfo));
    }
    // An application that has just registered may not say its name yet: ask again a few times.
    if (applications_.lastRescanWasIncomplete() && !retryTimer_ && retries_ < kNameRetries) {
        ++retries_;
        retryTimer_ = runLoop_.scheduleTimer(kNameRetryInterval, false, [this] {
            retryTimer_.reset();
            refreshApplications();
        });
    }
}

void LinuxWorkspace::activeProcessChanged(std::optional<ProcessId> pid) {
    if (pid == activePid_) return;
    std::optional<RunningApplication> previous = activeApplication();
    activePid_ = pid;
    if (previous)
        center_.postNotificationName(NSWorkspaceDidDeactivateApplicationNotification, this,
                                     {{NSWorkspaceApplicationKey, *previous}});
    if (std::optional<RunningApplication> next = activeApplication())
        center_.postNotificationName(NSWorkspaceDidActivateApplicationNotification, this,
                                     {{NSWorkspaceApplicationKey, *next}});
}

} // namespace quoddle
