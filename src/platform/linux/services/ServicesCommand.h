#pragma once
// "quoddle services": the desktop services this system offers, and a check of one service file for its
// author.

#include <iosfwd>
#include <string>
#include <vector>

namespace quoddle {

// The arguments after "services", with the folders to list, the user's first. Returns the exit status: 0
// success, 1 a checked file has problems or cannot be read, 2 usage error.
int runServicesCommand(const std::vector<std::string>& arguments, const std::vector<std::string>& directories,
                       std::ostream& out, std::ostream& err);

} // namespace quoddle
