#include "platform/linux/atspi/AtspiApplications.h"

#include <algorithm>

namespace quoddle {

namespace {

constexpr int kMaxApplications = 1024;

// Chromium (and so every Electron application) builds the tree of its pages only once an assistive
// client asks an object for its attributes, as a screen reader does; neither a flag in the session nor an
// environment variable turns it on. Asking changes nothing outside that one process, which from then on
// keeps its tree, as it would under a screen reader.
void askChromiumForItsPages(AtspiAccessible* application) {
    GErrorSlot error;
    std::optional<std::string> toolkit =
        takeGString(atspi_accessible_get_toolkit_name(application, error.out()));
    if (error || toolkit != "Chromium") return;
    if (GHashTable* attributes = atspi_accessible_get_attributes(application, error.out()))
        g_hash_table_unref(attributes);
}

} // namespace

AtspiApplications::AtspiApplications(ProcessId ownPid, DesktopFileIdOfPid desktopFileIdOfPid)
    : ownPid_(ownPid), desktopFileIdOfPid_(std::move(desktopFileIdOfPid)) {}

std::vector<RunningApplication> AtspiApplications::rescan() {
    auto desktop = GRef<AtspiAccessible>::adopt(atspi_get_desktop(0));
    if (!desktop) return {};
    GErrorSlot error;
    const int count = atspi_accessible_get_child_count(desktop.get(), error.out());
    if (error || count < 0) return {};

    std::vector<Entry> next;
    std::vector<RunningApplication> appeared;
    incomplete_ = false;
    for (int i = 0; i < std::min(count, kMaxApplications); ++i) {
        auto object =
            GRef<AtspiAccessible>::adopt(atspi_accessible_get_child_at_index(desktop.get(), i, error.out()));
        if (error || !object) continue;
        // The process comes from the bus, not from the application, so a hung one costs nothing here.
        const auto pid = static_cast<ProcessId>(atspi_accessible_get_process_id(object.get(), error.out()));
        if (error || pid <= 0 || pid == ownPid_) continue;
        auto known = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
            return e.application.processIdentifier == pid && e.object.get() == object.get();
        });
        if (known != entries_.end()) {
            next.push_back(*known);
            continue;
        }
        std::optional<std::string> name = takeGString(atspi_accessible_get_name(object.get(), error.out()));
        if (error || !name || name->empty()) {
            incomplete_ = true;
            continue;
        }
        RunningApplication application{pid, *name, *name};
        if (desktopFileIdOfPid_)
            if (std::optional<std::string> id = desktopFileIdOfPid_(pid); id && !id->empty())
                application.bundleIdentifier = *id;
        askChromiumForItsPages(object.get());
        next.push_back({application, object});
        appeared.push_back(application);
    }
    entries_ = std::move(next);
    return appeared;
}

std::vector<RunningApplication> AtspiApplications::running() const {
    std::vector<RunningApplication> list;
    for (const Entry& entry : entries_)
        list.push_back(entry.application);
    return list;
}

std::optional<RunningApplication> AtspiApplications::find(ProcessId pid) const {
    for (const Entry& entry : entries_)
        if (entry.application.processIdentifier == pid) return entry.application;
    return std::nullopt;
}

GRef<AtspiAccessible> AtspiApplications::objectOf(ProcessId pid) const {
    for (const Entry& entry : entries_)
        if (entry.application.processIdentifier == pid) return entry.object;
    return {};
}

} // namespace quoddle
