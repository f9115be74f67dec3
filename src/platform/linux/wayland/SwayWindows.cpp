#include "platform/linux/wayland/SwayWindows.h"

#include "platform/linux/FileDescriptor.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quoddle {

namespace {

constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::uint32_t kGetTree = 4;
// A tree of thousands of windows is a few megabytes; more is no tree.
constexpr std::uint32_t kMaxReply = 32u << 20;
constexpr int kMaxDepth = 64;

struct Found {
    std::optional<Point> focused, visible;
};

void search(const QJsonObject& node, ProcessId pid, int depth, Found& found) {
    if (depth > kMaxDepth || found.focused) return;
    if (node.value("pid").toInteger(-1) == pid) {
        const QJsonObject rect = node.value("rect").toObject();
        const QJsonObject content = node.value("window_rect").toObject();
        const Point origin{rect.value("x").toDouble() + content.value("x").toDouble(),
                           rect.value("y").toDouble() + content.value("y").toDouble()};
        if (node.value("focused").toBool())
            found.focused = origin;
        else if (node.value("visible").toBool() && !found.visible)
            found.visible = origin;
    }
    for (const char* children : {"nodes", "floating_nodes"})
        for (const QJsonValue child : node.value(children).toArray())
            search(child.toObject(), pid, depth + 1, found);
}

// Reads exactly `size` bytes unless the deadline passes or the peer goes.
bool readAll(int fd, char* into, std::size_t size, std::chrono::steady_clock::time_point deadline) {
    while (size > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd readable{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) return false;
        const ssize_t got = ::read(fd, into, size);
        if (got <= 0) return false;
        into += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace

std::optional<Point> swayWindowOrigin(std::string_view treeJson, ProcessId pid) {
    if (pid <= 0) return std::nullopt;
    const QJsonDocument tree =
        QJsonDocument::fromJson(QByteArray(treeJson.data(), static_cast<qsizetype>(treeJson.size())));
    if (!tree.isObject()) return std::nullopt;
    Found found;
    search(tree.object(), pid, 0, found);
    return found.focused ? found.focused : found.visible;
}

std::optional<Point> SwayWindows::windowOrigin(ProcessId pid, std::chrono::milliseconds deadline) {
    std::optional<std::string> reply = tree(deadline);
    if (!reply) return std::nullopt;
    return swayWindowOrigin(*reply, pid);
}

std::optional<std::string> SwayWindows::tree(std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath_.empty() || socketPath_.size() >= sizeof address.sun_path) return std::nullopt;
    std::memcpy(address.sun_path, socketPath_.c_str(), socketPath_.size() + 1);
    const FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.get() < 0 ||
        ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return std::nullopt;
    char request[sizeof kMagic + 8];
    std::memcpy(request, kMagic, sizeof kMagic);
    const std::uint32_t header[2] = {0, kGetTree};
    std::memcpy(request + sizeof kMagic, header, sizeof header);
    if (::send(socket.get(), request, sizeof request, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof request))
        return std::nullopt;
    char replyHeader[sizeof kMagic + 8];
    if (!readAll(socket.get(), replyHeader, sizeof replyHeader, deadline) ||
        std::memcmp(replyHeader, kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    std::uint32_t sizeAndType[2];
    std::memcpy(sizeAndType, replyHeader + sizeof kMagic, sizeof sizeAndType);
    if (sizeAndType[1] != kGetTree || sizeAndType[0] > kMaxReply) return std::nullopt;
    std::string payload(sizeAndType[0], '\0');
    if (!readAll(socket.get(), payload.data(), payload.size(), deadline)) return std::nullopt;
    return payload;
}

} // namespace quoddle
