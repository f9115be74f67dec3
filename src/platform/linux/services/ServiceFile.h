#pragma once
// Reading one service file (GLib's key-file parser, the desktop-entry rules for Exec).

#include "platform/linux/services/DesktopService.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quoddle {

struct ServiceFileReading {
    // Set when the file defines a sound service; also when it is unavailable, so a check can still say
    // what it would do.
    std::optional<DesktopService> service;
    // What is wrong with the file, one sentence each, naming the key ("Exec: %f is not a field code of
    // service files"). Empty when the file is sound.
    std::vector<std::string> problems;
    bool hidden = false;      // Hidden=true: the file removes a service of the same id (not a problem)
    bool unavailable = false; // TryExec names a program that is not installed (not a problem)
    std::string tryExec;      // the TryExec program, as the file names it
};

// Files larger than this are refused unread.
inline constexpr std::size_t kMaxServiceFileBytes = 64 * 1024;

// The id is the file name without its ".service" ending.
ServiceFileReading readServiceFile(const std::string& path);
// Name is taken in the user's languages, or in the given locale ("de_DE.UTF-8") when one is given.
ServiceFileReading parseServiceFile(std::string_view contents, const std::string& path,
                                    const std::string& locale = {});

} // namespace quoddle
