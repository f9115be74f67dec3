#include "platform/linux/session/SmallFile.h"

#include "platform/defaults/FileDescriptor.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace quoddle {

SmallFileReading readSmallFile(const std::string& path, std::size_t maxBytes) {
    const auto refused = [](std::string why) {
        return SmallFileReading{std::nullopt, std::move(why), false};
    };
    const SmallFileReading tooLarge{std::nullopt, "it is larger than " + std::to_string(maxBytes) + " bytes",
                                    true};
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.get() < 0) return refused(std::strerror(errno));
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) return refused(std::strerror(errno));
    if (S_ISDIR(status.st_mode)) return refused("it is a folder");
    if (!S_ISREG(status.st_mode)) return refused("it is not a regular file");
    if (static_cast<std::uintmax_t>(status.st_size) > maxBytes) return tooLarge;
    // One byte more than allowed, so a file that grew since fstat is still refused.
    std::string bytes(maxBytes + 1, '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t count = ::read(file.get(), bytes.data() + filled, bytes.size() - filled);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return refused(std::strerror(errno));
        if (count == 0) break;
        filled += static_cast<std::size_t>(count);
    }
    if (filled > maxBytes) return tooLarge;
    bytes.resize(filled);
    return {std::move(bytes), {}, false};
}

} // namespace quoddle
