#include "platform/linux/session/LinuxWorkspace.h"

#include <cerrno>
#include <csignal>

namespace quoddle {

namespace {
constexpr int kNameRetries = 8;
constexpr std::chrono::milliseconds kNameRetryInterval{250};
} // namespace

LinuxWorkspace::LinuxWorkspace(AtspiApplications& applications, RunLoop& runLoop, RunningApplication current,
                               OpenAccessibilitySettings openAccessibilitySettings)
    : applications_(applications), runLoop_(runLoop), current_(std::move(current)),
      openAccessibilitySettings_(std::move(openAccessibilitySettings)) {}

std::vector<RunningApplication> LinuxWorkspace::runningApplications() const {
    std::vector<RunningApplication> running = applications_.running();
    running.insert(running.end(), plainApplications_.begin(), plainApplications_.end());
    return running;
}

std::optional<RunningApplication> LinuxWorkspace::applicationWithPid(ProcessId pid) const {
    if (pid == current_.processIdentifier) return current_;
    if (std::optional<RunningApplication> registered = applications_.find(pid)) return registered;
    for (const RunningApplication& application : plainApplications_)
        if (application.processIdentifier == pid) return application;
    return std::nullopt;
}

void LinuxWorkspace::notePlainApplication(const RunningApplication& application) {
    if (applicationWithPid(application.processIdentifier)) return;
    // Processes that have gone leave the list when the next one is added.
    std::erase_if(plainApplications_, [](const RunningApplication& known) {
        return ::kill(known.processIdentifier, 0) != 0 && errno == ESRCH;
    });
    plainApplications_.push_back(application);
    runLoop_.post([this, application] {
        std::map<std::string, std::any> userInfo{{kApplicationKey, application}};
        if (application.bundleIdentifier)
            userInfo.emplace(kBundleIdentifierKey, *application.bundleIdentifier);
        center_.postNotificationName(kApplicationLaunchedNotification, this, std::move(userInfo));
    });
}

std::vector<RunningApplication>
LinuxWorkspace::applicationsWithBundleIdentifier(const std::string& bundleIdentifier) const {
    std::vector<RunningApplication> matching;
    for (const RunningApplication& application : runningApplications())
        if (application.bundleIdentifier == bundleIdentifier) matching.push_back(application);
    return matching;
}

std::optional<RunningApplication> LinuxWorkspace::activeApplication() const {
    if (!activePid_) return std::nullopt;
    if (auto known = applicationWithPid(*activePid_)) return known;
    // An application without accessibility still takes keys: it is active all the same.
    return RunningApplication{*activePid_, std::nullopt, std::nullopt};
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
        std::map<std::string, std::any> userInfo{{kApplicationKey, application}};
        if (application.bundleIdentifier)
            userInfo.emplace(kBundleIdentifierKey, *application.bundleIdentifier);
        center_.postNotificationName(kApplicationLaunchedNotification, this, std::move(userInfo));
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
        center_.postNotificationName(kApplicationDeactivatedNotification, this,
                                     {{kApplicationKey, *previous}});
    if (std::optional<RunningApplication> next = activeApplication())
        center_.postNotificationName(kApplicationActivatedNotification, this, {{kApplicationKey, *next}});
}

} // namespace quoddle
