#pragma once
// Reading a small configuration file another program or the user wrote (a service file, an autostart
// entry): only a regular file, only up to a size, and never waiting (a named pipe in its place cannot hold
// the reader up).

#include <cstddef>
#include <optional>
#include <string>

namespace quoddle {

struct SmallFileReading {
    std::optional<std::string> bytes;
    // Why there are none: "it is a folder", "it is not a regular file", "it is larger than N bytes", or
    // the system's words for an error.
    std::string problem;
    bool tooLarge = false;
};

SmallFileReading readSmallFile(const std::string& path, std::size_t maxBytes);

} // namespace quoddle
