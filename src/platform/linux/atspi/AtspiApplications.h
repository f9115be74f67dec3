#pragma once
// The applications registered with AT-SPI, by process: what the workspace lists as running and what the
// accessibility backend walks.
//
// An application's identifiers are settled once, when it is first seen, and kept for its process: the
// bundle identifier is the desktop-file id its windows name (_GTK_APPLICATION_ID, _KDE_NET_WM_DESKTOP_FILE)
// when they already name one, else its AT-SPI name (the program name GTK and Qt register); the localized
// name, which keys the history, is always the AT-SPI name, so a use is never counted under two names.

#include "platform/Workspace.h"
#include "platform/linux/GObjectHandles.h"

#include <atspi/atspi.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quoddle {

class AtspiApplications {
public:
    // The desktop-file id of a process's windows, if they name one.
    using DesktopFileIdOfPid = std::function<std::optional<std::string>(ProcessId)>;

    AtspiApplications(ProcessId ownPid, DesktopFileIdOfPid desktopFileIdOfPid);

    // Reads the registry's list again. Returns the applications that were not there before; those that
    // left are dropped. This process is never listed (it is never asked about itself).
    std::vector<RunningApplication> rescan();
    // Whether the last rescan met applications that did not tell their name yet (one that has just
    // registered may not answer at once); they are listed by a later rescan.
    bool lastRescanWasIncomplete() const { return incomplete_; }

    std::vector<RunningApplication> running() const;
    std::optional<RunningApplication> find(ProcessId pid) const;
    GRef<AtspiAccessible> objectOf(ProcessId pid) const;

private:
    struct Entry {
        RunningApplication application;
        GRef<AtspiAccessible> object;
    };
    ProcessId ownPid_;
    DesktopFileIdOfPid desktopFileIdOfPid_;
    std::vector<Entry> entries_; // in the registry's order
    bool incomplete_ = false;
};

} // namespace quoddle
