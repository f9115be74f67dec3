// The instance channel against peers that do not behave: pieces, garbage, texts over the limit, peers that
// stall or crowd, and the socket file. Reopen, export and import as such, a client that went away and an
// instance that does not answer are the desktop tier's (InstanceTest).
#include "platform/linux/session/InstanceChannel.h"
#include "platform/TempFolder.h"
#include "platform/linux/QtTestApp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace quoddle {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::spinUntil;

sockaddr_un addressOf(const fs::path& path) {
    sockaddr_un address{AF_UNIX, {}};
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    return address;
}

// A blocking connection, as any program could make one, that gives up reading after a while; -1 when none.
int connectTo(const fs::path& path) {
    const sockaddr_un address = addressOf(path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval patience{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
    ::close(fd);
    return -1;
}

void sendAll(int fd, std::string_view bytes) {
    for (ssize_t count; !bytes.empty(); bytes.remove_prefix(static_cast<std::size_t>(count)))
        if ((count = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)) <= 0) return;
}

bool closedByServer(int fd) {
    char byte;
    return ::recv(fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK) == 0;
}

class InstanceChannel : public test::WithQtApplication, public ::testing::Test {
protected:
    ~InstanceChannel() override {
        server.reset();
        for (int fd : peers)
            ::close(fd);
    }
    void start(std::chrono::milliseconds idleDeadline = 300ms, std::size_t maxConnections = 8) {
        std::string problem;
        server =
            InstanceServer::bind(socket, &problem, {idleDeadline, kMaxInstanceTextBytes, maxConnections});
        ASSERT_TRUE(server) << problem;
        server->serve({[] {}, [this] { return exportText; },
                       [this](const std::string& text) {
                           imports.push_back(text);
                           return std::string("#Apply Setting Text");
                       }},
                      [this](const std::string& line) { logLines.push_back(line); });
    }
    // Sends the bytes and reads the answer, as a program other than Quoddle would, on a thread of its own
    // while this thread turns the loop the server needs.
    std::string exchange(const std::string& bytes) {
        auto answer = std::async(std::launch::async, [&] {
            const int fd = connectTo(socket);
            sendAll(fd, bytes);
            std::string read; // everything until the server closes
            char buffer[65536];
            for (ssize_t count; (count = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
                read.append(buffer, static_cast<std::size_t>(count));
            ::close(fd);
            return read;
        });
        EXPECT_TRUE(spinUntil([&] { return answer.wait_for(0s) == std::future_status::ready; }, 15s));
        return answer.get();
    }
    // A connection that the test holds open and closes at the end.
    int peer() { return peers.emplace_back(connectTo(socket)); }

    TempFolder temp;
    const fs::path socket = temp / "quoddle.socket";
    std::unique_ptr<InstanceServer> server;
    std::vector<int> peers;
    std::string exportText;
    std::vector<std::string> imports, logLines;
};

TEST_F(InstanceChannel, AnythingButARequestIsRefusedAndAnImportOverTheLimitBeforeItsTextIsRead) {
    start();
    // Near misses of each request and of the import's byte count, bytes no request holds, and a title with
    // no line end within reach.
    std::vector<std::string> garbage{std::string("\0\xFF\n", 3), "Secret\tTitle " + std::string(200, 'x')};
    for (const char* line :
         {"hello", "reopen now", "REOPEN", "reopen\r", "history-import", "history-import -5",
          "history-import +5", "history-import 0x10", "history-import  5", "history-import 5 ",
          "history-import 123456789012345678901234567890"})
        garbage.push_back(line + std::string("\n"));
    for (const std::string& bytes : garbage)
        EXPECT_EQ(exchange(bytes), "error unknown request\n") << bytes;
    // One log line each, which holds none of the bytes.
    EXPECT_EQ(logLines.size(), garbage.size());
    for (const std::string& line : logLines)
        EXPECT_TRUE(line.find("Secret") == std::string::npos && line.find("hello") == std::string::npos)
            << line;
    EXPECT_EQ(exchange("history-import 16777217\n"),
              "error the text is larger than the 16777216 bytes allowed\n");
    EXPECT_EQ(logLines.back(), "refused an import of 16777217 bytes");
    EXPECT_EQ(exchange("history-import 16777216\n" + std::string(kMaxInstanceTextBytes, '\t')),
              "ok 19\n#Apply Setting Text")
        << "still serving, and an import at the limit is carried out";
    ASSERT_EQ(imports.size(), 1u);
    EXPECT_EQ(imports.front().size(), kMaxInstanceTextBytes);
    EXPECT_EQ(logLines.size(), garbage.size() + 1);
}

TEST_F(InstanceChannel, PeersThatStallAreDroppedAfterTheDeadlineAndOnesBeyondTheLimitRefused) {
    start(300ms, 3);
    const auto connected = std::chrono::steady_clock::now();
    const int silent = peer(), halfway = peer();
    sendAll(halfway, "history-import 10\nabc");
    exportText = std::string(8 << 20, 'x');
    sendAll(peer(), "history-export\n"); // asks for more than the socket holds, and never reads it
    ASSERT_TRUE(spinUntil([&] { return server->connectionCount() == 3; }));
    EXPECT_EQ(exchange("reopen\n"), "error busy with other requests\n");

    ASSERT_TRUE(spinUntil([&] { return closedByServer(silent) && closedByServer(halfway); }, 5s));
    EXPECT_GE(std::chrono::steady_clock::now() - connected, 300ms);
    ASSERT_TRUE(spinUntil([&] { return server->connectionCount() == 0; }, 5s)) << "the deaf reader stays";
    EXPECT_EQ(exchange("reopen\n"), "ok 0\n") << "served again";
    EXPECT_TRUE(imports.empty());
    std::sort(logLines.begin(), logLines.end());
    EXPECT_EQ(logLines, (std::vector<std::string>{"dropped a client that did not read its answer in time",
                                                  "dropped a client that sent no complete request in time",
                                                  "dropped a client that sent no complete request in time",
                                                  "refused a connection: 3 others are open"}));
}

TEST_F(InstanceChannel, TheSocketIsTheOwnersOnlyReplacesAStaleOneAndGoesWithTheServer) {
    // What an instance that was killed leaves behind: a socket file nobody listens on.
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un address = addressOf(socket);
    ASSERT_EQ(::bind(stale, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(stale);
    ASSERT_EQ(connectTo(socket), -1);
    const mode_t previous = ::umask(0);
    start();
    ::umask(previous);
    EXPECT_EQ(fs::symlink_status(socket).permissions(), fs::perms::owner_read | fs::perms::owner_write)
        << "whatever the umask";
    EXPECT_EQ(exchange("reopen\n"), "ok 0\n");
    server.reset();
    EXPECT_FALSE(fs::exists(fs::symlink_status(socket)));

    // Something other than a socket at the path is not Quoddle's to remove.
    writeBytes(socket, "a file of the user's");
    std::string problem;
    EXPECT_FALSE(InstanceServer::bind(socket, &problem));
    EXPECT_EQ(problem, socket.string() + " exists and is no socket");
    EXPECT_TRUE(fs::is_regular_file(socket));
}

} // namespace
} // namespace quoddle
