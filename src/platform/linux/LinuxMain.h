#pragma once
// The entry points the process entry needs from the Linux desktop backend.

#include "platform/AppServices.h"

namespace quoddle {

// The Linux product's string table (its registered defaults), usable without a display.
const AppServices& linuxProductStrings();

// Runs Quoddle on the X11 session: refuses to start without a reachable display or when another instance
// of this user runs. Returns the process's exit status.
int runLinuxDesktopApplication(int argc, char** argv);

} // namespace quoddle
