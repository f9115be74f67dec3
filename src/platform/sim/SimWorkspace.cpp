#include "platform/sim/SimWorkspace.h"

#include <algorithm>

namespace quoddle {

SimWorkspace::SimWorkspace(RunningApplication current) : current_(std::move(current)) {
    applications_.push_back(current_);
    nextPid_ = std::max(nextPid_, current_.processIdentifier + 1);
}

std::optional<RunningApplication> SimWorkspace::runningApplicationWithProcessIdentifier(ProcessId pid) const {
    for (const RunningApplication& app : applications_)
        if (app.processIdentifier == pid) return app;
    return std::nullopt;
}

std::vector<RunningApplication>
SimWorkspace::runningApplicationsWithBundleIdentifier(const std::string& bundleIdentifier) const {
    std::vector<RunningApplication> found;
    for (const RunningApplication& app : applications_)
        if (app.bundleIdentifier == bundleIdentifier) found.push_back(app);
    return found;
}

std::optional<RunningApplication> SimWorkspace::activeApplication() const {
    return runningApplicationWithProcessIdentifier(activePid_);
}

bool SimWorkspace::openURL(const std::string& url) {
    openedURLs.push_back(url);
    return true;
}

RunningApplication SimWorkspace::launch(const std::string& localizedName, const std::string& bundleIdentifier,
                                        const Starting& starting) {
    return launchUnnamedOrUnbundled(localizedName, bundleIdentifier, starting);
}

RunningApplication SimWorkspace::launchUnnamedOrUnbundled(std::optional<std::string> localizedName,
                                                          std::optional<std::string> bundleIdentifier,
                                                          const Starting& starting) {
    RunningApplication app{nextPid_++, std::move(bundleIdentifier), std::move(localizedName)};
    applications_.push_back(app);
    if (starting) starting(app);
    std::map<std::string, std::any> userInfo{{NSWorkspaceApplicationKey, app}};
    if (app.bundleIdentifier) userInfo.emplace(NSApplicationBundleIdentifierKey, *app.bundleIdentifier);
    center_.postNotificationName(NSWorkspaceDidLaunchApplicationNotification, this, std::move(userInfo));
    return app;
}

void SimWorkspace::activate(ProcessId pid) {
    auto next = runningApplicationWithProcessIdentifier(pid);
    if (!next || pid == activePid_) return;
    if (auto previous = activeApplication())
        center_.postNotificationName(NSWorkspaceDidDeactivateApplicationNotification, this,
                                     {{NSWorkspaceApplicationKey, *previous}});
    activePid_ = pid;
    center_.postNotificationName(NSWorkspaceDidActivateApplicationNotification, this,
                                 {{NSWorkspaceApplicationKey, *next}});
}

void SimWorkspace::quit(ProcessId pid) {
    std::erase_if(applications_,
                  [pid](const RunningApplication& app) { return app.processIdentifier == pid; });
    if (activePid_ == pid) activePid_ = -1;
}

} // namespace quoddle
