#pragma once
// One Quoddle per user: the Unix socket over which a later start of the program asks the running one to
// bring its settings window forward, or to export or import the history it holds in memory.
//
// Each connection carries one request line, "reopen", "history-export" or "history-import <length>" (then
// exactly that many bytes of settings text), and one reply: "ok <length>" followed by that many bytes (the
// history text, or the result line of an import), or "error <reason>". Lines end with a line feed.
//
// Which process is the instance is decided by the instance lock, not by the socket: only the holder of the
// lock binds it, so a stale socket file can be replaced without a race.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

class QSocketNotifier;
class QTimer;

namespace quoddle {

// The most settings text one import carries.
inline constexpr std::size_t kMaxInstanceTextBytes = std::size_t{16} << 20;

// What the running instance does for the requests; called on Qt's loop.
struct InstanceRequests {
    std::function<void()> reopen;
    std::function<std::string()> exportHistory;
    // Applies the text; the result line.
    std::function<std::string(const std::string& text)> importHistory;
};

class InstanceServer {
public:
    struct Limits {
        // A connection that moves no byte for this long is dropped.
        std::chrono::milliseconds idleDeadline{2000};
        std::size_t maxTextBytes = kMaxInstanceTextBytes;
        // More connections at once are refused, so a runaway client cannot pile up texts in memory.
        std::size_t maxConnections = 8;
    };

    // Binds and listens on the socket, owner-only, replacing a stale socket file there; only the holder of
    // the instance lock may. Needs no Qt yet: clients wait in the backlog until serve(). Null, with the
    // reason, when it cannot.
    static std::unique_ptr<InstanceServer> bind(const std::filesystem::path& socketPath, std::string* problem,
                                                Limits limits);
    static std::unique_ptr<InstanceServer> bind(const std::filesystem::path& socketPath,
                                                std::string* problem) {
        return bind(socketPath, problem, Limits{});
    }
    // Closes every connection unanswered and removes the socket file.
    ~InstanceServer();
    InstanceServer(const InstanceServer&) = delete;
    InstanceServer& operator=(const InstanceServer&) = delete;

    // Serves from Qt's loop from now on; `log` gets one line for each connection refused or dropped, never
    // any of the text it carried.
    void serve(InstanceRequests requests, std::function<void(const std::string&)> log);
    std::size_t connectionCount() const { return connections_.size(); }

private:
    struct Connection;
    InstanceServer(int listener, std::filesystem::path path, Limits limits);
    void acceptPending();
    void readFrom(int id);
    // Takes the request line off the input once it is whole; false when the connection was refused.
    bool readRequestLine(Connection& connection);
    void requestComplete(Connection& connection);
    void carryOut(Connection& connection);
    void reply(Connection& connection, std::string bytes);
    void writeTo(int id);
    void refuse(Connection& connection, const std::string& reason, const std::string& logLine);
    void drop(int id, const std::string& logLine);
    void dropIdle();

    int listener_ = -1;
    std::filesystem::path path_;
    std::pair<std::uint64_t, std::uint64_t> socketFile_; // inode and device of the file bound
    Limits limits_;
    InstanceRequests requests_;
    std::function<void(const std::string&)> log_;
    std::unique_ptr<QSocketNotifier> acceptor_;
    std::unique_ptr<QTimer> sweep_;
    std::map<int, std::unique_ptr<Connection>> connections_;
    int nextId_ = 0;
    bool acceptPaused_ = false;
};

enum class InstanceRequest { Reopen, ExportHistory, ImportHistory };

struct InstanceReply {
    bool ok = false;
    std::string text;   // when ok: the history text, or the result line of an import
    std::string reason; // when not
};

// Sends one request (the text only with an import) to the instance listening on the socket and reads its
// whole reply. A starting instance may not listen yet, so connecting is retried. Gives up when nothing
// moves for the deadline; none then, or when the reply is cut short, with why in `problem`. Blocks.
std::optional<InstanceReply> askInstance(const std::filesystem::path& socketPath, InstanceRequest request,
                                         std::string_view text, std::chrono::milliseconds idleDeadline,
                                         std::string* problem = nullptr);

} // namespace quoddle
