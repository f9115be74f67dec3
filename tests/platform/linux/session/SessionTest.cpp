// The session: the instance channel against peers that do not behave (pieces, garbage, texts over the limit,
// peers that stall or crowd, and the socket file); reopen, export and import as such, a client that went
// away and an instance that does not answer are the desktop tier's (InstanceTest). Then the login-items
// port over XDG autostart entries: what it lists, how it resolves an entry's program, and what it writes and
// removes. The core's use of it (enable twice, disable, other copies) is SettingsTextTest's login switch,
// over the simulated login items; the switch in the running program, and the folders from the
// environment, the desktop tier's.
#include "platform/ScopedEnvironment.h"
#include "platform/TempFolder.h"
#include "platform/linux/QtTestApp.h"
#include "platform/linux/session/InstanceChannel.h"
#include "platform/linux/session/XdgAutostartLoginItems.h"

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
    for (const char* line : {"hello", "reopen now", "REOPEN", "reopen\r", "history-import -5",
                             "history-import 5 ", "history-import 123456789012345678901234567890"})
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

class XdgAutostartTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(system);
        fs::create_symlink(program, root / "bin/quoddle-link");
    }
    XdgAutostartLoginItems itemsOver(std::vector<std::string> folders, std::vector<std::string> desktops,
                                     const fs::path& userFolder = {}) const {
        return XdgAutostartLoginItems({(userFolder.empty() ? user : userFolder).string(), std::move(folders),
                                       std::move(desktops), "org.quoddle.Quoddle", "quoddle"});
    }
    static std::string makeProgram(const fs::path& path) {
        writeBytes(path, "#!/bin/sh\n");
        fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
        return path.string();
    }
    static std::string entry(const std::string& name, const std::string& exec, const std::string& more = "") {
        return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + "\n" + more;
    }
    // The names of the files in the user's folder, in order.
    std::string userFiles() const {
        std::string names;
        for (const fs::path& file : filesIn(user))
            names += file.filename().string() + "\n";
        return names;
    }
    // Each listed item as "name program", the program relative to the test's folder.
    std::vector<std::string> listed() const {
        std::vector<std::string> lines;
        const std::vector<LoginItem> shown = items.snapshot().value();
        for (const LoginItem& item : shown)
            lines.push_back(item.displayName + " " +
                            (item.resolvedPath ? fs::relative(*item.resolvedPath, root).string() : "-"));
        return lines;
    }

    TempFolder temp;
    const fs::path root = fs::canonical(temp.path());
    const fs::path user = root / "config/autostart", system = root / "xdg/autostart";
    const std::string program = makeProgram(root / "bin/quoddle"),
                      otherCopy = makeProgram(root / "other/quoddle");
    XdgAutostartLoginItems items = itemsOver({system.string()}, {"XFCE"});
};

TEST_F(XdgAutostartTest, InsertsAnEntryInAnOwnerOnlyFolderThatResolvesToTheProgramAndRemovesIt) {
    ASSERT_TRUE(items.insertAtFront(program, "Quoddle"));
    // The desktop-entry quoting of reserved characters, which the reading side undoes again.
    ASSERT_TRUE(
        items.insertAtFront(makeProgram(root / "my apps/$HOME \"q\" `x` back\\slash 100%/quoddle"), "Two"));
    EXPECT_EQ(fs::status(user).permissions(), fs::perms::owner_all);
    EXPECT_EQ(userFiles(), "org.quoddle.Quoddle-2.desktop\norg.quoddle.Quoddle.desktop\n");
    EXPECT_EQ(readBytes(user / "org.quoddle.Quoddle.desktop"),
              "[Desktop Entry]\nType=Application\nName=Quoddle\nComment=Text services one click from a text "
              "selection\nExec=" +
                  program + "\nIcon=quoddle\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    EXPECT_NE(readBytes(user / "org.quoddle.Quoddle-2.desktop")
                  .find("\nExec=\"" + root.string() +
                        R"(/my apps/\\$HOME \\"q\\" \\`x\\` back\\\\slash 100%%/quoddle")" + "\n"),
              std::string::npos);
    EXPECT_EQ(listed(), (std::vector<std::string>{"Two my apps/$HOME \"q\" `x` back\\slash 100%/quoddle",
                                                  "Quoddle bin/quoddle"}));
    const std::vector<LoginItem> shown = items.snapshot().value();
    EXPECT_FALSE(items.remove(shown[0].id ^ shown[1].id));
    EXPECT_TRUE(items.remove(shown[1].id));
    EXPECT_FALSE(items.remove(shown[1].id));
    EXPECT_EQ(userFiles(), "org.quoddle.Quoddle-2.desktop\n");
    // Paths an Exec line cannot hold for certain.
    EXPECT_FALSE(items.insertAtFront("bin/quoddle", "Quoddle"));
    EXPECT_FALSE(items.insertAtFront(root.string() + "/caf\xe9", "Quoddle"));
}

// What a hand-made entry's Exec resolves to: through symlinks, env, quotes and the search path, and never
// against Quoddle's own working folder.
TEST_F(XdgAutostartTest, ResolvesAnEntrysProgramTheWayTheSessionWouldStartIt) {
    test::ScopedEnvironment environment;
    environment.set("PATH", ((root / "bin").string() + ":/usr/bin:/bin").c_str());
    const std::pair<std::string, std::string> cases[] = {
        {(root / "bin/quoddle-link").string() + " --quiet %U", "bin/quoddle"},
        {"env LANG=C GDK_BACKEND=x11 quoddle-link", "bin/quoddle"},
        {"\"" + program + "\"", "bin/quoddle"},
        {"/usr/bin/env quoddle", "bin/quoddle"},
        {"/nowhere/quoddle", "-"},
        {"bin/quoddle", "-"},
        {"env A=1", "-"},
        {"\"" + program, "-"}};
    const fs::path workingFolder = fs::current_path();
    fs::current_path(root);
    for (const auto& [exec, resolved] : cases) {
        writeBytes(user / "mine.desktop", entry("Mine", exec));
        EXPECT_EQ(listed(), std::vector<std::string>{"Mine " + resolved}) << exec;
    }
    fs::current_path(workingFolder);
}

// What the entry says beside Type, Name and Exec, for a session on "Budgie:GNOME:XFCE": the first of its
// desktops an entry names decides.
TEST_F(XdgAutostartTest, HiddenEntriesAndEntriesForOtherDesktopsAreNotListed) {
    items = itemsOver({system.string()}, {"Budgie", "GNOME", "XFCE"});
    const std::pair<const char*, bool> cases[] = {{"Hidden=true\n", false},
                                                  {"X-GNOME-Autostart-enabled=false\n", false},
                                                  {"OnlyShowIn=KDE;\n", false},
                                                  {"OnlyShowIn=KDE;XFCE;\n", true},
                                                  {"OnlyShowIn=XFCE;\nNotShowIn=XFCE;\n", true},
                                                  {"OnlyShowIn=Budgie;\nNotShowIn=GNOME;\n", true},
                                                  {"OnlyShowIn=GNOME;\nNotShowIn=Budgie;\n", false}};
    for (const auto& [more, shown] : cases) {
        writeBytes(user / "mine.desktop", entry("Q", program, more));
        EXPECT_EQ(listed().size(), shown ? 1u : 0u) << more;
    }
    writeBytes(user / "mine.desktop", "[Desktop Entry]\nType=Link\nName=Q\nExec=" + program + "\n");
    EXPECT_TRUE(listed().empty()) << "no application";
}

TEST_F(XdgAutostartTest, AUserFileHidesTheSystemsAndRemovingASystemEntryHidesItWithOne) {
    items = itemsOver({system.string(), (root / "xdg2/autostart").string()}, {"XFCE"});
    writeBytes(system / "quoddle.desktop", entry("Packaged", program));
    writeBytes(root / "xdg2/autostart/quoddle.desktop", entry("Later", otherCopy));
    EXPECT_EQ(listed(), std::vector<std::string>{"Packaged bin/quoddle"});
    writeBytes(user / "quoddle.desktop", entry("Mine", otherCopy));
    EXPECT_EQ(listed(), std::vector<std::string>{"Mine other/quoddle"});
    fs::remove(user / "quoddle.desktop");

    ASSERT_TRUE(items.remove(items.snapshot().value().at(0).id));
    EXPECT_EQ(userFiles(), "quoddle.desktop\n");
    EXPECT_EQ(readBytes(user / "quoddle.desktop"),
              "[Desktop Entry]\nType=Application\nName=Packaged\nHidden=true\n");
    EXPECT_EQ(readBytes(system / "quoddle.desktop"), entry("Packaged", program))
        << "the system's is only read";
    EXPECT_TRUE(listed().empty());
    ASSERT_TRUE(items.insertAtFront(program, "Quoddle"));
    EXPECT_EQ(userFiles(), "") << "the hiding file goes instead of a new entry coming";
    // A hiding file that says more is the user's: it stays, and ours comes beside it.
    writeBytes(user / "quoddle.desktop", "[Desktop Entry]\nHidden=true\nX-Note=keep this\n");
    ASSERT_TRUE(items.insertAtFront(program, "Quoddle"));
    EXPECT_EQ(userFiles(), "org.quoddle.Quoddle.desktop\nquoddle.desktop\n");
    EXPECT_EQ(readBytes(user / "quoddle.desktop"), "[Desktop Entry]\nHidden=true\nX-Note=keep this\n");
}

TEST_F(XdgAutostartTest, WithoutAUserFolderNothingIsListedOrWritten) {
    writeBytes(root / "file", "a file where the folder should be");
    XdgAutostartLoginItems blocked = itemsOver({}, {}, root / "file/autostart");
    EXPECT_FALSE(blocked.snapshot());
    EXPECT_FALSE(blocked.insertAtFront(program, "Quoddle"));
    EXPECT_EQ(readBytes(root / "file"), "a file where the folder should be");
}

} // namespace
} // namespace quoddle
