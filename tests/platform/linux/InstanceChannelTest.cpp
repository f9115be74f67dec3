#include "platform/linux/InstanceChannel.h"
#include "platform/linux/QtTestApp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quoddle {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::spinUntil;
using test::turnLoop;

sockaddr_un addressOf(const fs::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    return address;
}

// A blocking connection, as any program could make one; -1 when it fails.
int connectTo(const fs::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = addressOf(path);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    // Never a test that hangs: a read gives up after a while.
    timeval patience{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    return fd;
}

void sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (count <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
}

// Everything until the server closes (a reset after its answer ends it too).
std::string readToEnd(int fd) {
    std::string bytes;
    char buffer[65536];
    for (ssize_t count; (count = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        bytes.append(buffer, static_cast<std::size_t>(count));
    return bytes;
}

// Whether the server has closed this connection, without waiting.
bool closedByServer(int fd) {
    char byte;
    return ::recv(fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK) == 0;
}

// Bytes of every kind a settings text can hold: tabs, both line ends, UTF-8 of 2 to 4 bytes, a NUL.
std::string awkwardText(std::size_t size) {
    const std::string piece =
        std::string("Caf\xC3\xA9\t\t12\tSearch \xE2\x80\x94 \xF0\x9F\x94\x8D\t\r\n*\t1\t") + '\0' + "x\t\n";
    std::string text;
    while (text.size() < size)
        text += piece;
    text.resize(size);
    return text;
}

class InstanceChannel : public test::WithQtApplication, public ::testing::Test {
protected:
    InstanceChannel() {
        char pattern[] = "/tmp/quoddle-channel-XXXXXX";
        folder = ::mkdtemp(pattern);
        socket = folder / "quoddle.socket";
    }
    ~InstanceChannel() override {
        server.reset();
        for (int fd : peers)
            ::close(fd);
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    static InstanceServer::Limits quickLimits() {
        InstanceServer::Limits limits;
        limits.idleDeadline = 300ms;
        return limits;
    }
    void start(InstanceServer::Limits limits = quickLimits()) {
        std::string problem;
        server = InstanceServer::bind(socket, &problem, limits);
        ASSERT_TRUE(server) << problem;
        server->serve(InstanceRequests{[this] { ++reopens; }, [this] { return exportText; },
                                       [this](const std::string& text) {
                                           imports.push_back(text);
                                           return std::string("#Apply Setting Text");
                                       }},
                      [this](const std::string& line) { logLines.push_back(line); });
    }

    // Runs the blocking work on a thread of its own while this thread turns the loop the server needs.
    template <class Work> auto whileServing(Work work) {
        auto result = std::async(std::launch::async, std::move(work));
        EXPECT_TRUE(spinUntil([&] { return result.wait_for(0s) == std::future_status::ready; }, 15s));
        return result.get();
    }
    std::optional<InstanceReply> ask(InstanceRequest request, const std::string& text = {},
                                     std::chrono::milliseconds deadline = 2s,
                                     std::string* problem = nullptr) {
        return whileServing([&] { return askInstance(socket, request, text, deadline, problem); });
    }
    // Sends the bytes and reads the answer, as a program other than Quoddle would.
    std::string exchange(const std::string& bytes) {
        return whileServing([&] {
            const int fd = connectTo(socket);
            if (fd < 0) return std::string("(no connection)");
            sendAll(fd, bytes);
            std::string answer = readToEnd(fd);
            ::close(fd);
            return answer;
        });
    }
    // A connection that the test holds open and closes at the end.
    int peer() {
        const int fd = connectTo(socket);
        EXPECT_GE(fd, 0);
        peers.push_back(fd);
        return fd;
    }

    fs::path folder, socket;
    std::unique_ptr<InstanceServer> server;
    std::vector<int> peers;
    int reopens = 0;
    std::string exportText;
    std::vector<std::string> imports;
    std::vector<std::string> logLines;
};

// --- Requests and their answers ---------------------------------------------------------------------

TEST_F(InstanceChannel, ReopenExportAndImportReachTheInstanceAndTheirAnswersComeBackWhole) {
    start();
    std::optional<InstanceReply> reply = ask(InstanceRequest::Reopen);
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->ok);
    EXPECT_EQ(reply->text, "");
    EXPECT_EQ(reopens, 1);

    exportText = awkwardText(1 << 20);
    reply = ask(InstanceRequest::ExportHistory);
    ASSERT_TRUE(reply && reply->ok);
    EXPECT_TRUE(reply->text == exportText) << "an exported text of " << reply->text.size() << " bytes";

    for (const std::string& text :
         {awkwardText(1 << 20), std::string(), std::string("\n"), awkwardText(77)}) {
        reply = ask(InstanceRequest::ImportHistory, text);
        ASSERT_TRUE(reply && reply->ok);
        EXPECT_EQ(reply->text, "#Apply Setting Text");
        ASSERT_FALSE(imports.empty());
        EXPECT_TRUE(imports.back() == text) << "an imported text of " << imports.back().size() << " bytes";
    }
    EXPECT_EQ(imports.size(), 4u);
    EXPECT_EQ(reopens, 1);
    EXPECT_TRUE(logLines.empty()) << logLines.front();
    EXPECT_EQ(server->connectionCount(), 0u);
}

TEST_F(InstanceChannel, ARequestThatArrivesInPiecesIsPutTogether) {
    start();
    const int fd = peer();
    for (std::string_view piece : {"history-imp", "ort 7", "\nab\tc", "d\xC3", "\xA9"}) {
        sendAll(fd, piece);
        turnLoop();
        turnLoop();
        if (piece != "\xA9") {
            EXPECT_TRUE(imports.empty()) << "carried out before the text was whole";
        }
    }
    ASSERT_TRUE(spinUntil([&] { return closedByServer(fd) || !imports.empty(); }));
    ASSERT_EQ(imports.size(), 1u);
    EXPECT_EQ(imports.front(), "ab\tcd\xC3\xA9");
    EXPECT_EQ(whileServing([fd] { return readToEnd(fd); }), "ok 19\n#Apply Setting Text");
}

TEST_F(InstanceChannel, AnythingButARequestIsRefusedWithOneLogLineThatHoldsNoneOfItsBytes) {
    start();
    const std::vector<std::string> garbage = {
        "hello\n",
        "reopen now\n",
        "REOPEN\n",
        "reopen\r\n",
        "history-import\n",
        "history-import -5\n",
        "history-import +5\n",
        "history-import 0x10\n",
        "history-import  5\n",
        "history-import 5 \n",
        "history-import 123456789012345678901234567890\n",
        std::string("\0\xFF\n", 3),
        "Secret\tTitle " + std::string(200, 'x'), // no line end within reach
    };
    for (const std::string& bytes : garbage)
        EXPECT_EQ(exchange(bytes), "error unknown request\n") << bytes;
    EXPECT_EQ(logLines.size(), garbage.size());
    for (const std::string& line : logLines) {
        EXPECT_EQ(line.find("Secret"), std::string::npos) << line;
        EXPECT_EQ(line.find("hello"), std::string::npos) << line;
    }
    EXPECT_EQ(reopens, 0);
    EXPECT_TRUE(imports.empty());
    EXPECT_TRUE(spinUntil([&] { return server->connectionCount() == 0; }));

    std::optional<InstanceReply> reply = ask(InstanceRequest::Reopen);
    EXPECT_TRUE(reply && reply->ok) << "still serving";
}

TEST_F(InstanceChannel, AnImportOverTheLimitIsRefusedBeforeItsTextIsRead) {
    start();
    EXPECT_EQ(exchange("history-import 16777217\n"),
              "error the text is larger than the 16777216 bytes allowed\n");
    EXPECT_EQ(logLines, (std::vector<std::string>{"refused an import of 16777217 bytes"}));

    // The client sends on after the refusal; it still reads why.
    std::optional<InstanceReply> reply =
        ask(InstanceRequest::ImportHistory, std::string(kMaxInstanceTextBytes + 1, 'a'));
    ASSERT_TRUE(reply);
    EXPECT_FALSE(reply->ok);
    EXPECT_EQ(reply->reason, "the text is larger than the 16777216 bytes allowed");
    EXPECT_TRUE(imports.empty());

    reply = ask(InstanceRequest::ImportHistory, std::string(kMaxInstanceTextBytes, '\t'));
    ASSERT_TRUE(reply && reply->ok);
    ASSERT_EQ(imports.size(), 1u);
    EXPECT_EQ(imports.front().size(), kMaxInstanceTextBytes);
}

// --- Peers that stall, give up or crowd ---------------------------------------------------------------

TEST_F(InstanceChannel, APeerThatStallsIsDroppedAfterTheDeadlineWhileOthersAreServed) {
    start();
    const auto connected = std::chrono::steady_clock::now();
    const int silent = peer();
    const int halfway = peer();
    sendAll(halfway, "history-import 10\nabc");
    exportText = awkwardText(8 << 20);
    const int deaf = peer(); // asks for a text larger than the socket holds, and never reads it
    sendAll(deaf, "history-export\n");

    std::optional<InstanceReply> reply = ask(InstanceRequest::Reopen);
    EXPECT_TRUE(reply && reply->ok) << "served while the others stall";
    EXPECT_FALSE(closedByServer(silent));

    ASSERT_TRUE(spinUntil([&] { return closedByServer(silent) && closedByServer(halfway); }, 5s));
    EXPECT_GE(std::chrono::steady_clock::now() - connected, 300ms);
    ASSERT_TRUE(spinUntil([&] { return server->connectionCount() == 0; }, 5s)) << "the deaf reader stays";
    EXPECT_TRUE(imports.empty());
    std::sort(logLines.begin(), logLines.end());
    EXPECT_EQ(logLines, (std::vector<std::string>{"dropped a client that did not read its answer in time",
                                                  "dropped a client that sent no complete request in time",
                                                  "dropped a client that sent no complete request in time"}));
}

TEST_F(InstanceChannel, TheRequestOfAClientThatWentAwayIsNotCarriedOut) {
    start();
    // Both sent and closed before the instance's loop turns, as by a client whose wait ran out.
    for (const std::string request : {"history-import 3\nabc", "reopen\n"}) {
        const int fd = connectTo(socket);
        sendAll(fd, request);
        ::close(fd);
    }
    ASSERT_TRUE(spinUntil([&] { return logLines.size() == 2; }));
    EXPECT_TRUE(imports.empty());
    EXPECT_EQ(reopens, 0);
    EXPECT_EQ(logLines, (std::vector<std::string>{
                            "a client went away before its history-import was carried out; it was not",
                            "a client went away before its reopen was carried out; it was not"}));

    const int fd = connectTo(socket);
    sendAll(fd, "history-");
    ::close(fd);
    ASSERT_TRUE(spinUntil([&] { return logLines.size() == 3; }));
    EXPECT_EQ(logLines.back(), "a client closed its connection before its request was complete");
}

TEST_F(InstanceChannel, ConnectionsBeyondTheLimitAreToldTheInstanceIsBusy) {
    InstanceServer::Limits limits = quickLimits();
    limits.maxConnections = 2;
    limits.idleDeadline = 5s;
    start(limits);
    peer();
    peer();
    ASSERT_TRUE(spinUntil([&] { return server->connectionCount() == 2; }));
    EXPECT_EQ(exchange("reopen\n"), "error busy with other requests\n");
    EXPECT_EQ(reopens, 0);
    EXPECT_EQ(logLines, (std::vector<std::string>{"refused a connection: 2 others are open"}));

    for (int fd : peers)
        ::close(fd);
    peers.clear();
    ASSERT_TRUE(spinUntil([&] { return server->connectionCount() == 0; }));
    EXPECT_EQ(exchange("reopen\n"), "ok 0\n");
    EXPECT_EQ(reopens, 1);
}

// --- The socket file and who may use it ----------------------------------------------------------------

TEST_F(InstanceChannel, TheSocketIsTheOwnersOnlyReplacesAStaleOneAndGoesWithTheServer) {
    {
        // What an instance that was killed leaves behind: a socket file nobody listens on.
        const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un address = addressOf(socket);
        ASSERT_EQ(::bind(stale, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ::close(stale);
        ASSERT_EQ(connectTo(socket), -1);
    }
    const mode_t previous = ::umask(0);
    start();
    ::umask(previous);
    struct stat made {};
    ASSERT_EQ(::lstat(socket.c_str(), &made), 0);
    EXPECT_TRUE(S_ISSOCK(made.st_mode));
    EXPECT_EQ(made.st_mode & 07777, 0600u) << "whatever the umask";
    EXPECT_EQ(made.st_uid, ::geteuid());
    EXPECT_TRUE(ask(InstanceRequest::Reopen));

    server.reset();
    EXPECT_FALSE(fs::exists(fs::symlink_status(socket)));

    // Something other than a socket at the path is not Quoddle's to remove.
    std::ofstream(socket) << "a file of the user's";
    std::string problem;
    EXPECT_FALSE(InstanceServer::bind(socket, &problem));
    EXPECT_EQ(problem, socket.string() + " exists and is no socket");
    EXPECT_TRUE(fs::is_regular_file(socket));

    EXPECT_FALSE(InstanceServer::bind(folder / std::string(120, 's'), &problem));
    EXPECT_NE(problem.find("too long"), std::string::npos) << problem;
}

TEST_F(InstanceChannel, AConnectionFromAnotherUserIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "making a process of another user needs root";
    start();
    // Opened up, as a careless setup might leave them: the peer check is the defence that remains.
    fs::permissions(folder, fs::perms::all);
    fs::permissions(socket, fs::perms::all);
    const pid_t child = ::fork();
    if (child == 0) {
        // Only system calls in the child of a threaded process.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(10);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un address = addressOf(socket);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) ::_exit(11);
        timeval patience{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        char byte;
        const ssize_t answer = ::recv(fd, &byte, 1, 0);
        ::_exit(answer == 0 ? 0 : 12); // closed without a word
    }
    ASSERT_GT(child, 0);
    int status = -1;
    const bool ended = spinUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }, 10s);
    if (!ended) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    ASSERT_TRUE(ended);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(reopens, 0);
    EXPECT_EQ(logLines, (std::vector<std::string>{"refused a connection from uid 65534"}));
    EXPECT_TRUE(ask(InstanceRequest::Reopen)) << "its own user is still served";
}

// --- The client against instances that do not answer as they should ------------------------------------

TEST_F(InstanceChannel, TheClientGivesUpOnAnInstanceThatDoesNotAnswer) {
    std::string problem;
    auto began = std::chrono::steady_clock::now();
    EXPECT_FALSE(askInstance(socket, InstanceRequest::Reopen, {}, 300ms, &problem));
    EXPECT_GE(std::chrono::steady_clock::now() - began, 300ms) << "connecting is retried meanwhile";
    EXPECT_EQ(problem, "nobody listens on " + socket.string());

    // A hung instance: its socket takes the connection into the backlog, and nothing more happens.
    const int hung = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = addressOf(socket);
    ASSERT_EQ(::bind(hung, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(hung, 4), 0);
    began = std::chrono::steady_clock::now();
    EXPECT_FALSE(askInstance(socket, InstanceRequest::ImportHistory, "A\t1\tT\n", 300ms, &problem));
    const auto waited = std::chrono::steady_clock::now() - began;
    EXPECT_GE(waited, 300ms);
    EXPECT_LT(waited, 3s);
    EXPECT_EQ(problem, "it did not answer in time");
    ::close(::accept(hung, nullptr, nullptr)); // that client has gone

    // Answers that end too soon, or that are not this protocol's.
    for (const auto& [answer, why] :
         std::vector<std::pair<std::string, std::string>>{{"", "it closed the connection without an answer"},
                                                          {"ok 10\nabc", "its answer was cut short"},
                                                          {"ok 2\nabc", "its answer was cut short"},
                                                          {"ok", "its answer was cut short"},
                                                          {"OK 0\n", "its answer is not understood"},
                                                          {"ok -1\n", "its answer is not understood"}}) {
        std::thread instance([&, answer = answer] {
            const int fd = ::accept(hung, nullptr, nullptr);
            char request[64];
            [[maybe_unused]] auto read = ::recv(fd, request, sizeof request, 0);
            sendAll(fd, answer);
            ::close(fd);
        });
        EXPECT_FALSE(askInstance(socket, InstanceRequest::Reopen, {}, 2s, &problem)) << answer;
        EXPECT_EQ(problem, why) << answer;
        instance.join();
    }
    ::close(hung);
}

} // namespace
} // namespace quoddle
