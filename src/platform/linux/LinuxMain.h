#pragma once
// The entry points the process entry needs from the Linux desktop backend.

#include "platform/AppServices.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace quoddle {

// The Linux product's string table (its registered defaults), usable without a display.
const AppServices& linuxProductStrings();

// The commands this backend carries out itself (the arguments after the program name): "services ...", and
// "history export" and "history import FILE|-" while Quoddle runs for this user, carried out by the running
// instance, whose next save would overwrite an import made to the preferences file. The exit status; none
// when the command is the command line's (no instance runs, or, for an export, none answers).
std::optional<int> runLinuxCommand(const std::vector<std::string>& arguments, std::ostream& out,
                                   std::ostream& err, std::istream& in);

// Runs Quoddle on the X11 session. When another instance of this user runs, asks it to bring its settings
// window forward and returns 0, or reports it and returns 1 when it does not answer. Refuses to start
// without a reachable display. With --verbose it logs why a selection opened no palette. Returns the
// process's exit status.
int runLinuxDesktopApplication(int argc, char** argv);

} // namespace quoddle
