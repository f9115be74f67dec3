#include "platform/sim/SimWorkspace.h"

#include <algorithm>

namespace quoddle {

SimWorkspace::SimWorkspace(RunningApplication current) : current_(std::move(current)) {
    applications_.push_back(current_);
    nextPid_ = std::max(nextPid_, current_.processIdentifier + 1);
}

std::optional<RunningApplication> SimWorkspace::applicationWithPid(ProcessId pid) const {
    for (const RunningApplication& app : applications_)
        if (app.processIdentifier == pid) return app;
    return std::nullopt;
}

std::vector<RunningApplication>
SimWorkspace::applicationsWithBundleIdentifier(const std::string& bundleIdentifier) const {
    std::vector<RunningApplication> found;
    for (const RunningApplication& app : applications_)
        if (app.bundleIdentifier == bundleIdentifier) found.push_back(app);
    return found;
}

std::optional<RunningApplication> SimWorkspace::activeApplication() const {
    return applicationWithPid(activePid_);
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
    std::map<std::string, std::any> userInfo{{kApplicationKey, app}};
    if (app.bundleIdentifier) userInfo.emplace(kBundleIdentifierKey, *app.bundleIdentifier);
    center_.postNotificationName(kApplicationLaunchedNotification, this, std::move(userInfo));
    return app;
}

void SimWorkspace::activate(ProcessId pid) {
    auto next = applicationWithPid(pid);
    if (!next || pid == activePid_) return;
    const std::optional<RunningApplication> previous = activeApplication();
    activePid_ = pid;
    if (previous)
        center_.postNotificationName(kApplicationDeactivatedNotification, this,
                                     {{kApplicationKey, *previous}});
    center_.postNotificationName(kApplicationActivatedNotification, this, {{kApplicationKey, *next}});
}

void SimWorkspace::deactivateAll() {
    const std::optional<RunningApplication> previous = activeApplication();
    activePid_ = -1;
    if (previous)
        center_.postNotificationName(kApplicationDeactivatedNotification, this,
                                     {{kApplicationKey, *previous}});
}

void SimWorkspace::quit(ProcessId pid) {
    std::erase_if(applications_,
                  [pid](const RunningApplication& app) { return app.processIdentifier == pid; });
    if (activePid_ == pid) activePid_ = -1;
}

} // namespace quoddle
