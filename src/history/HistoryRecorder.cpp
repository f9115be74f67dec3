#include "history/HistoryRecorder.h"

#include "Preferences.h"

namespace quoddle {

namespace {
constexpr std::chrono::seconds kSaveDelay{2};
}

HistoryRecorder::~HistoryRecorder() {
    if (saveTimer_) platform_.runLoop.invalidateTimer(*saveTimer_);
}

void HistoryRecorder::recordUse(const std::string& title, ProcessId pid) {
    if (!servicesMenu_.isKnownTitle(title)) return;
    std::optional<RunningApplication> application = platform_.workspace.applicationWithPid(pid);
    if (!application || !application->localizedName || application->localizedName->empty()) return;
    const TimePoint now = platform_.clock.now();
    for (const std::string& key : {*application->localizedName, std::string(kAllApplicationsKey)})
        history_.tableFor(key).recordUse(title, now);
    scheduleSave();
}

void HistoryRecorder::replace(ServiceHistory history) {
    history_ = std::move(history);
    scheduleSave();
}

void HistoryRecorder::load() {
    const PlistValue* stored = preferences_.objectForKey(preference::history);
    history_ = stored ? ServiceHistory::fromPlist(
                            *stored,
                            [this](const std::string& problem) {
                                platform_.appServices.log(
                                    "Quoddle: skipped part of the stored service history: " + problem);
                            })
                      : ServiceHistory();
}

void HistoryRecorder::put() {
    if (saveTimer_) {
        platform_.runLoop.invalidateTimer(*saveTimer_);
        saveTimer_.reset();
    }
    preferences_.setObject(preference::history, history_.toPlist());
}

bool HistoryRecorder::save() {
    put();
    if (preferences_.synchronize()) return true;
    platform_.appServices.log("Quoddle: the service history could not be written; it stays in memory");
    return false;
}

void HistoryRecorder::scheduleSave() {
    // The first unsaved change starts the delay; later ones ride along, so steady use cannot postpone the
    // save indefinitely, and a crash loses only the last seconds. The file is written beside the main loop:
    // a large history takes a while.
    if (saveTimer_) return;
    saveTimer_ = platform_.runLoop.scheduleTimer(kSaveDelay, false, [this] {
        saveTimer_.reset();
        put();
        preferences_.synchronizeInBackground();
    });
}

} // namespace quoddle
