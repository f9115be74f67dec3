#include "platform/linux/session/InstanceChannel.h"

#include "platform/linux/FileDescriptor.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quoddle {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kReopen = "reopen";
constexpr std::string_view kExportHistory = "history-export";
constexpr std::string_view kImportHistory = "history-import ";
// Longer than any request line ("history-import " and the digits of the largest length).
constexpr std::size_t kMaxRequestLine = 64;
constexpr int kBacklog = 16;

std::string errorText(int error) {
    return std::strerror(error);
}

bool socketAddress(const std::filesystem::path& path, sockaddr_un& address) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    const std::string& text = path.native();
    if (text.empty() || text.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return true;
}

// A length of digits only, no sign or spaces, as the client writes it.
std::optional<std::size_t> lengthOf(std::string_view digits) {
    if (digits.empty() || digits.size() > 20) return std::nullopt;
    std::size_t value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

// Whether the peer has closed its end: a client that gave up must not have its request carried out after
// it told its user that nothing happened.
bool peerHasGone(int fd) {
    pollfd poller{fd, POLLRDHUP, 0};
    if (::poll(&poller, 1, 0) <= 0) return false;
    return (poller.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

struct QObjectDeleter {
    // Deferred: a notifier may be the one whose signal is being handled.
    void operator()(QObject* object) const { object->deleteLater(); }
};

} // namespace

struct InstanceServer::Connection {
    int id = 0;
    int fd = -1;
    std::unique_ptr<QSocketNotifier, QObjectDeleter> reader;
    std::unique_ptr<QSocketNotifier, QObjectDeleter> writer;
    std::string input;
    std::optional<std::string> line;
    std::size_t textLength = 0;
    std::string output;
    std::size_t written = 0;
    // Set while a request handler runs: a nested loop must not drop the connection under it.
    bool busy = false;
    Clock::time_point lastProgress = Clock::now();
};

InstanceServer::InstanceServer(int listener, std::filesystem::path path, Limits limits)
    : listener_(listener), path_(std::move(path)), limits_(limits) {}

std::unique_ptr<InstanceServer> InstanceServer::bind(const std::filesystem::path& socketPath,
                                                     std::string* problem, Limits limits) {
    auto fail = [problem](std::string reason) -> std::unique_ptr<InstanceServer> {
        if (problem) *problem = std::move(reason);
        return nullptr;
    };
    sockaddr_un address;
    if (!socketAddress(socketPath, address))
        return fail("the socket path " + socketPath.string() + " is too long");

    struct stat existing {};
    if (::lstat(socketPath.c_str(), &existing) == 0) {
        // Left by an instance that ended without removing it; anything else there is not ours to remove.
        if (!S_ISSOCK(existing.st_mode)) return fail(socketPath.string() + " exists and is no socket");
        if (::unlink(socketPath.c_str()) != 0 && errno != ENOENT)
            return fail("cannot remove the stale socket " + socketPath.string() + ": " + errorText(errno));
    }

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return fail("cannot make a socket: " + errorText(errno));
    // The socket file is made owner-only from the start (its folder is private too); the chmod makes the
    // mode exact whatever the umask was.
    const mode_t previousMask = ::umask(077);
    const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int bindError = errno;
    ::umask(previousMask);
    if (bound != 0) {
        ::close(fd);
        return fail("cannot bind " + socketPath.string() + ": " + errorText(bindError));
    }
    if (::chmod(socketPath.c_str(), 0600) != 0 || ::listen(fd, kBacklog) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(socketPath.c_str());
        return fail("cannot listen on " + socketPath.string() + ": " + errorText(error));
    }
    auto server = std::unique_ptr<InstanceServer>(new InstanceServer(fd, socketPath, limits));
    struct stat made {};
    if (::lstat(socketPath.c_str(), &made) == 0) server->socketFile_ = {made.st_ino, made.st_dev};
    return server;
}

InstanceServer::~InstanceServer() {
    for (auto& [id, connection] : connections_) {
        connection->reader->setEnabled(false);
        connection->writer->setEnabled(false);
        ::close(connection->fd);
    }
    connections_.clear();
    acceptor_.reset();
    ::close(listener_);
    // Only the file this server made: another may have been bound at the path since.
    struct stat current {};
    if (::lstat(path_.c_str(), &current) == 0 && current.st_ino == socketFile_.first &&
        current.st_dev == socketFile_.second)
        ::unlink(path_.c_str());
}

void InstanceServer::serve(InstanceRequests requests, std::function<void(const std::string&)> log) {
    requests_ = std::move(requests);
    log_ = std::move(log);
    acceptor_ = std::make_unique<QSocketNotifier>(listener_, QSocketNotifier::Read);
    QObject::connect(acceptor_.get(), &QSocketNotifier::activated, [this] { acceptPending(); });
    sweep_ = std::make_unique<QTimer>();
    const auto tick =
        std::clamp(limits_.idleDeadline / 4, std::chrono::milliseconds(10), std::chrono::milliseconds(250));
    sweep_->setInterval(tick);
    QObject::connect(sweep_.get(), &QTimer::timeout, [this] { dropIdle(); });
    // Clients that connected before the loop ran wait in the backlog.
    QTimer::singleShot(0, acceptor_.get(), [this] { acceptPending(); });
}

void InstanceServer::acceptPending() {
    if (acceptPaused_) return;
    for (;;) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return;
            // Out of descriptors: the pending connection would wake the loop at once again, so accepting
            // rests a moment instead.
            if (log_) log_("cannot accept a connection: " + errorText(errno));
            acceptPaused_ = true;
            acceptor_->setEnabled(false);
            QTimer::singleShot(limits_.idleDeadline / 4, acceptor_.get(), [this] {
                acceptPaused_ = false;
                acceptor_->setEnabled(true);
                acceptPending();
            });
            return;
        }
        ucred peer{};
        socklen_t size = sizeof peer;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
            if (log_) log_("refused a connection whose peer cannot be told: " + errorText(errno));
            ::close(fd);
            continue;
        }
        // The folder and the socket are the user's own; this is the check that does not depend on them.
        if (peer.uid != ::geteuid()) {
            if (log_) log_("refused a connection from uid " + std::to_string(peer.uid));
            ::close(fd);
            continue;
        }
        if (connections_.size() >= limits_.maxConnections) {
            if (log_)
                log_("refused a connection: " + std::to_string(connections_.size()) + " others are open");
            static constexpr std::string_view busy = "error busy with other requests\n";
            [[maybe_unused]] auto ignored = ::send(fd, busy.data(), busy.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            ::close(fd);
            continue;
        }

        const int id = nextId_++;
        auto connection = std::make_unique<Connection>();
        connection->id = id;
        connection->fd = fd;
        connection->reader.reset(new QSocketNotifier(fd, QSocketNotifier::Read));
        QObject::connect(connection->reader.get(), &QSocketNotifier::activated, [this, id] { readFrom(id); });
        connection->writer.reset(new QSocketNotifier(fd, QSocketNotifier::Write));
        connection->writer->setEnabled(false);
        QObject::connect(connection->writer.get(), &QSocketNotifier::activated, [this, id] { writeTo(id); });
        connections_.emplace(id, std::move(connection));
        if (!sweep_->isActive()) sweep_->start();
        readFrom(id);
    }
}

void InstanceServer::readFrom(int id) {
    auto found = connections_.find(id);
    if (found == connections_.end()) return;
    Connection& connection = *found->second;
    char buffer[65536];
    for (;;) {
        // Never more than the request can hold, so a request ends exactly where its text does.
        const std::size_t wanted =
            connection.line ? std::min(sizeof buffer, connection.textLength - connection.input.size())
                            : kMaxRequestLine - connection.input.size();
        const ssize_t count = ::recv(connection.fd, buffer, wanted, 0);
        if (count < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                drop(id, "a client's connection failed: " + errorText(errno));
            return;
        }
        if (count == 0) {
            drop(id, "a client closed its connection before its request was complete");
            return;
        }
        connection.lastProgress = Clock::now();
        connection.input.append(buffer, static_cast<std::size_t>(count));
        if (!connection.line && !readRequestLine(connection)) return;
        if (connection.line && connection.input.size() == connection.textLength) {
            requestComplete(connection);
            return;
        }
    }
}

bool InstanceServer::readRequestLine(Connection& connection) {
    const std::size_t end = connection.input.find('\n');
    if (end == std::string::npos) {
        if (connection.input.size() < kMaxRequestLine) return true;
        refuse(connection, "unknown request", "refused an unknown request from a client");
        return false;
    }
    std::string line = connection.input.substr(0, end);
    connection.input.erase(0, end + 1);
    connection.textLength = 0;
    if (line.starts_with(kImportHistory)) {
        const std::string digits = line.substr(kImportHistory.size());
        const std::optional<std::size_t> length = lengthOf(digits);
        if (!length) {
            refuse(connection, "unknown request", "refused an unknown request from a client");
            return false;
        }
        if (*length > limits_.maxTextBytes) {
            refuse(connection,
                   "the text is larger than the " + std::to_string(limits_.maxTextBytes) + " bytes allowed",
                   "refused an import of " + digits + " bytes");
            return false;
        }
        connection.textLength = *length;
    } else if (line != kReopen && line != kExportHistory) {
        refuse(connection, "unknown request", "refused an unknown request from a client");
        return false;
    }
    // Bytes past the request's text belong to no request.
    if (connection.input.size() > connection.textLength) connection.input.resize(connection.textLength);
    connection.line = std::move(line);
    return true;
}

void InstanceServer::requestComplete(Connection& connection) {
    connection.reader->setEnabled(false);
    if (peerHasGone(connection.fd)) {
        const std::string name = connection.line->substr(0, connection.line->find(' '));
        drop(connection.id, "a client went away before its " + name + " was carried out; it was not");
        return;
    }
    carryOut(connection);
}

void InstanceServer::carryOut(Connection& connection) {
    std::string body;
    connection.busy = true;
    try {
        if (*connection.line == kReopen) {
            if (requests_.reopen) requests_.reopen();
        } else if (*connection.line == kExportHistory) {
            if (requests_.exportHistory) body = requests_.exportHistory();
        } else if (requests_.importHistory) {
            body = requests_.importHistory(connection.input);
        }
    } catch (const std::exception& error) {
        connection.busy = false;
        refuse(connection, "the request failed", std::string("a client's request failed: ") + error.what());
        return;
    }
    connection.busy = false;
    connection.input = std::string();
    reply(connection, "ok " + std::to_string(body.size()) + "\n" + body);
}

void InstanceServer::reply(Connection& connection, std::string bytes) {
    connection.reader->setEnabled(false);
    connection.output = std::move(bytes);
    connection.written = 0;
    connection.lastProgress = Clock::now();
    writeTo(connection.id);
}

void InstanceServer::writeTo(int id) {
    auto found = connections_.find(id);
    if (found == connections_.end()) return;
    Connection& connection = *found->second;
    while (connection.written < connection.output.size()) {
        const ssize_t count =
            ::send(connection.fd, connection.output.data() + connection.written,
                   connection.output.size() - connection.written, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                connection.writer->setEnabled(true);
                return;
            }
            // The client went away without reading its answer: nothing to tell anyone.
            drop(id, {});
            return;
        }
        connection.written += static_cast<std::size_t>(count);
        connection.lastProgress = Clock::now();
    }
    drop(id, {});
}

void InstanceServer::refuse(Connection& connection, const std::string& reason, const std::string& logLine) {
    if (log_ && !logLine.empty()) log_(logLine);
    reply(connection, "error " + reason + "\n");
}

void InstanceServer::drop(int id, const std::string& logLine) {
    auto found = connections_.find(id);
    if (found == connections_.end()) return;
    if (log_ && !logLine.empty()) log_(logLine);
    std::unique_ptr<Connection> connection = std::move(found->second);
    connections_.erase(found);
    connection->reader->setEnabled(false);
    connection->writer->setEnabled(false);
    ::close(connection->fd);
    if (connections_.empty() && sweep_) sweep_->stop();
}

void InstanceServer::dropIdle() {
    const Clock::time_point now = Clock::now();
    std::vector<std::pair<int, bool>> idle;
    for (const auto& [id, connection] : connections_)
        if (!connection->busy && now - connection->lastProgress >= limits_.idleDeadline)
            idle.emplace_back(id, connection->output.empty());
    for (const auto& [id, requesting] : idle)
        drop(id, requesting ? "dropped a client that sent no complete request in time"
                            : "dropped a client that did not read its answer in time");
}

// --- The client -------------------------------------------------------------------------------------

namespace {

int millisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<long long>(left, 0));
}

std::optional<InstanceReply> parseReply(const std::string& bytes, std::string& problem) {
    const std::size_t end = bytes.find('\n');
    if (end == std::string::npos) {
        problem = bytes.empty() ? "it closed the connection without an answer" : "its answer was cut short";
        return std::nullopt;
    }
    const std::string_view line = std::string_view(bytes).substr(0, end);
    InstanceReply reply;
    if (line.starts_with("error ")) {
        reply.reason = line.substr(6);
        return reply;
    }
    std::optional<std::size_t> length;
    if (line.starts_with("ok ")) length = lengthOf(line.substr(3));
    if (!length) {
        problem = "its answer is not understood";
        return std::nullopt;
    }
    if (bytes.size() - end - 1 != *length) {
        problem = "its answer was cut short";
        return std::nullopt;
    }
    reply.ok = true;
    reply.text = bytes.substr(end + 1);
    return reply;
}

} // namespace

std::optional<InstanceReply> askInstance(const std::filesystem::path& socketPath, InstanceRequest request,
                                         std::string_view text, std::chrono::milliseconds idleDeadline,
                                         std::string* problem) {
    std::string why;
    auto fail = [&](std::string reason) -> std::optional<InstanceReply> {
        if (problem) *problem = std::move(reason);
        return std::nullopt;
    };
    sockaddr_un address;
    if (!socketAddress(socketPath, address)) return fail("the socket path is too long");

    std::string outgoing;
    switch (request) {
    case InstanceRequest::Reopen:
        outgoing = std::string(kReopen) + "\n";
        break;
    case InstanceRequest::ExportHistory:
        outgoing = std::string(kExportHistory) + "\n";
        break;
    case InstanceRequest::ImportHistory:
        outgoing = std::string(kImportHistory) + std::to_string(text.size()) + "\n";
        outgoing += text;
        break;
    }

    Clock::time_point deadline = Clock::now() + idleDeadline;
    std::unique_ptr<FileDescriptor> socket;
    for (;;) {
        auto attempt = std::make_unique<FileDescriptor>(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (attempt->get() < 0) return fail("cannot make a socket: " + errorText(errno));
        if (::connect(attempt->get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            socket = std::move(attempt);
            break;
        }
        const int error = errno;
        // Not bound yet, or its backlog full: an instance that holds the lock is on its way.
        if (error != ENOENT && error != ECONNREFUSED && error != EAGAIN && error != EINTR)
            return fail("cannot connect: " + errorText(error));
        if (Clock::now() >= deadline) return fail("nobody listens on " + socketPath.string());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const int fd = socket->get();
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0)
        return fail("cannot make the socket non-blocking: " + errorText(errno));

    deadline = Clock::now() + idleDeadline;
    std::size_t sent = 0;
    std::string incoming;
    bool writing = true;
    for (;;) {
        pollfd poller{fd, static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0};
        const int ready = ::poll(&poller, 1, millisecondsLeft(deadline));
        if (ready < 0 && errno != EINTR) return fail("cannot wait for the answer: " + errorText(errno));
        if (ready == 0) {
            if (Clock::now() >= deadline) return fail("it did not answer in time");
            continue;
        }
        if (writing && (poller.revents & POLLOUT)) {
            const ssize_t count =
                ::send(fd, outgoing.data() + sent, outgoing.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (count > 0) {
                sent += static_cast<std::size_t>(count);
                deadline = Clock::now() + idleDeadline;
                writing = sent < outgoing.size();
            } else if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                // Refused before the whole request was read (an oversized import): its answer says why.
                writing = false;
            }
        }
        if (poller.revents & (POLLIN | POLLHUP | POLLERR)) {
            char buffer[65536];
            const ssize_t count = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (count > 0) {
                incoming.append(buffer, static_cast<std::size_t>(count));
                deadline = Clock::now() + idleDeadline;
            } else if (count == 0) {
                break;
            } else if (errno == ECONNRESET) {
                // The instance closed with part of the request unread: what it said before still counts.
                break;
            } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                return fail("cannot read the answer: " + errorText(errno));
            }
        }
    }
    std::optional<InstanceReply> reply = parseReply(incoming, why);
    if (!reply) return fail(why);
    return reply;
}

} // namespace quoddle
