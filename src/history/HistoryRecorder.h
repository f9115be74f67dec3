#pragma once
// The service history in use: loaded at start, a use recorded under the application and under "*" whenever
// a known Services item is chosen or pressed, written a short while after it changed and at the end.

#include "accessibility/ServicesMenu.h"
#include "history/ServiceHistory.h"
#include "platform/Platform.h"
#include "support/UserDefaults.h"

#include <optional>

namespace quoddle {

class HistoryRecorder {
public:
    HistoryRecorder(Platform& platform, UserDefaults& preferences, const ServicesMenu& servicesMenu)
        : platform_(platform), preferences_(preferences), servicesMenu_(servicesMenu) {}
    ~HistoryRecorder();
    HistoryRecorder(const HistoryRecorder&) = delete;
    HistoryRecorder& operator=(const HistoryRecorder&) = delete;

    const ServiceHistory& history() const { return history_; }
    // A use of the title in the application of the process, counted only for a title the Services menus
    // are known to hold (that keeps other menu choices out) and an application with a name.
    void recordUse(const std::string& title, ProcessId pid);
    // Replaces the whole history (the settings text's Apply), and stores it soon.
    void replace(ServiceHistory history);

    void load();
    // Stores the history and writes the preferences at once; false (logged) when the write failed.
    bool save();

private:
    void put();
    void scheduleSave();

    Platform& platform_;
    UserDefaults& preferences_;
    const ServicesMenu& servicesMenu_;
    ServiceHistory history_;
    std::optional<TimerId> saveTimer_;
};

} // namespace quoddle
