// Running a service's program: one row per program and what its run must come to, then the children a
// program leaves, the runner's end, and the environment a program gets. That a hostile selection reaches a
// real service byte for byte, and a hung one is killed while the palette goes on, is the desktop tier's.
#include "platform/linux/services/ServiceRunner.h"
#include "platform/TempFolder.h"
#include "platform/linux/QtTestApp.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sstream>

namespace quoddle {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Outcome = ServiceRunResult::Outcome;
using test::spinUntil;
using test::turnLoop;

// Dead: no such process, or a zombie whose parent has not reaped it yet.
bool processGone(pid_t pid) {
    const std::string line = readBytes("/proc/" + std::to_string(pid) + "/stat");
    return line.rfind(')') == std::string::npos || line.substr(line.rfind(')') + 2, 1) == "Z";
}

// The pids a test program wrote to the file, once it has written the whole line.
std::vector<pid_t> pidsFrom(const fs::path& path) {
    const std::string text = readBytes(path);
    std::istringstream in(text);
    std::vector<pid_t> pids;
    for (pid_t pid; text.ends_with('\n') && in >> pid;)
        pids.push_back(pid);
    return pids;
}

std::string patterned(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 7 % 251);
    return bytes;
}

const std::string kLarge = patterned(2 << 20); // far more than a pipe holds, and every byte value but a few

struct RunRow {
    const char* label;
    std::vector<std::string> commandLine;
    std::string input;
    Outcome outcome;
    std::string output; // when it exited
    std::string description;
    std::chrono::milliseconds limit = 10s;
    std::size_t outputLimit = ServiceRunner::kDefaultOutputLimit;
};

std::vector<std::string> sh(const std::string& script, const fs::path& argument = {}) {
    return argument.empty() ? std::vector<std::string>{"/bin/sh", "-c", script}
                            : std::vector<std::string>{"/bin/sh", "-c", script, "sh", argument.string()};
}

// Shell syntax in the text running nothing is the desktop tier's (the runner takes no shell), and the large
// input echoed carries NULs and bytes that are not UTF-8 through exactly.
const std::string kExited = "exit status 0", kTimedOut = "killed after 300 ms (time limit)";
const std::vector<std::string> kNotAProgram = {"/etc/passwd", "text"};
const RunRow kRunRows[] = {
    {"NoInputClosesStandardInput", {"cat"}, "", Outcome::exited, "", kExited},
    {"ExitStatusAndNoStandardError", sh("echo out; echo noise >&2; exit 3"), "", Outcome::exited, "out\n",
     "exit status 3"},
    // Nobody reads standard error, and the program must not stall on it.
    {"StandardErrorFlood", sh("head -c 3000000 /dev/zero >&2; echo done"), "", Outcome::exited, "done\n",
     kExited},
    {"Signal", sh("kill -SEGV $$"), "", Outcome::killedBySignal, "", "ended by signal 11"},
    // What came out before the limit is not a result.
    {"TimeLimit", sh("echo partial; sleep 60"), "", Outcome::timedOut, "", kTimedOut, 300ms},
    {"OutputAtTheLimit", sh("head -c 4096 /dev/zero"), "", Outcome::exited, std::string(4096, '\0'), kExited,
     10s, 4096},
    {"OutputOverTheLimit", sh("head -c 4097 /dev/zero"), "", Outcome::outputTooLarge, "",
     "killed: more than 4 KiB of output", 10s, 4096},
    {"LargeInputUnread", {"true"}, kLarge, Outcome::exited, "", kExited},
    {"LargeInputEchoed", {"cat"}, kLarge, Outcome::exited, kLarge, kExited, 10s, 16 << 20},
    {"NotExecutable", kNotAProgram, "text", Outcome::failedToStart, "",
     "could not be started: Permission denied"}};

// Runs the program to its end and returns what done reported, checking that done came once, and later.
ServiceRunResult runToEnd(ServiceRunner& runner, const std::vector<std::string>& commandLine,
                          const std::string& input = {}, std::chrono::milliseconds limit = 10s) {
    // Shared with done, which may come after a failed wait.
    auto reports = std::make_shared<std::vector<ServiceRunResult>>();
    EXPECT_TRUE(
        runner.start(commandLine, input, limit, [reports](ServiceRunResult r) { reports->push_back(r); }));
    EXPECT_TRUE(reports->empty()) << "never from inside start(): the caller may not be ready for it there";
    EXPECT_TRUE(spinUntil([&] { return !reports->empty(); }, limit + 10s));
    turnLoop();
    EXPECT_EQ(reports->size(), 1u);
    return reports->empty() ? ServiceRunResult{} : reports->front();
}

class ServiceRunnerTest : public test::WithQtApplication, public ::testing::Test {
protected:
    TempFolder temp;
    ServiceRunner runner;
};

TEST_F(ServiceRunnerTest, EveryRunEndsAsItMust) {
    for (const RunRow& row : kRunRows) {
        SCOPED_TRACE(row.label);
        ServiceRunner limited(row.outputLimit);
        const ServiceRunResult result = runToEnd(limited, row.commandLine, row.input, row.limit);
        EXPECT_EQ(result.outcome, row.outcome);
        EXPECT_TRUE(result.output == row.output)
            << "an output of " << result.output.size() << " bytes differs";
        EXPECT_EQ(result.succeeded(), row.description == kExited);
        // Never any of the text: a failed start names the system's reason only.
        EXPECT_TRUE(result.description().starts_with(row.description)) << result.description();
        EXPECT_EQ(result.description().find("text"), std::string::npos) << result.description();
        EXPECT_EQ(result.startError.empty(), row.outcome != Outcome::failedToStart) << result.startError;
        EXPECT_EQ(limited.running(), 0u);
    }
}

// A program leads a process group of its own: the children it leaves go with it, at the time limit and when
// the runner goes (which reports nothing).
TEST_F(ServiceRunnerTest, TheChildrenAProgramLeftAreKilledWithItAtTheLimitAndWithTheRunner) {
    const std::string script = "sleep 60 & echo $$ $! > \"$1\"; wait";
    const fs::path timed = temp / "timed", owned = temp / "owned";
    auto runnerToGo = std::make_unique<ServiceRunner>();
    bool reported = false;
    ASSERT_TRUE(runnerToGo->start(sh(script, owned), {}, 60s, [&](ServiceRunResult) { reported = true; }));
    EXPECT_EQ(runToEnd(runner, sh(script, timed), {}, 300ms).outcome, Outcome::timedOut);
    ASSERT_EQ(pidsFrom(timed).size(), 2u);
    EXPECT_TRUE(spinUntil([&] { return processGone(pidsFrom(timed)[1]); }));
    ASSERT_TRUE(spinUntil([&] { return pidsFrom(owned).size() == 2; }));
    ASSERT_FALSE(processGone(pidsFrom(owned)[0]));
    runnerToGo.reset();
    EXPECT_TRUE(processGone(pidsFrom(owned)[0]));
    EXPECT_TRUE(spinUntil([&] { return processGone(pidsFrom(owned)[1]); }));
    turnLoop();
    EXPECT_FALSE(reported);
}

TEST(ServiceEnvironmentTest, KeepsTheSessionsVariablesAndASearchPath) {
    EXPECT_EQ(
        serviceEnvironment({"DISPLAY=:1", "LD_PRELOAD=/tmp/x.so", "QT_QPA_PLATFORM=offscreen", "HOME=/home/u",
                            "NO_EQUALS_SIGN", "=value", "PATH=/usr/bin:/bin", "PATH=/tmp/evil",
                            "LANG=de_DE.UTF-8", "LC_ALL=", "DISPLAYX=:2",
                            "DBUS_SESSION_BUS_ADDRESS=unix:path=/b=c"}),
        (std::vector<std::string>{"DISPLAY=:1", "HOME=/home/u", "PATH=/usr/bin:/bin", "LANG=de_DE.UTF-8",
                                  "LC_ALL=", "DBUS_SESSION_BUS_ADDRESS=unix:path=/b=c"}));
    // Without a search path, or with an empty one (the working directory), the system's.
    EXPECT_EQ(serviceEnvironment({"PATH=", "HOME=/h"}),
              (std::vector<std::string>{"HOME=/h", "PATH=/usr/local/bin:/usr/bin:/bin"}));
}

} // namespace
} // namespace quoddle
