// Running a service's program: one row per program and what its run must come to, then the children a
// program leaves, the runner's end, and the environment a program gets. Then pressing a desktop service:
// what is refused and why, and that the log never carries the selected text; and the body a notification of
// its output is sent with, over real service files and real programs, the outputs recorded. That a hostile
// selection reaches a real service byte for byte, a hung one is killed while the palette goes on, where the
// outputs of the shipped services go in real applications, and sending a notification to a notification
// server, are the desktop tier's.
#include "platform/linux/services/ServiceRunner.h"
#include "platform/TempFolder.h"
#include "platform/linux/QtTestApp.h"
#include "platform/linux/RecordingAppServices.h"
#include "platform/linux/services/DesktopNotifications.h"
#include "platform/linux/services/DesktopServices.h"

#include <gtest/gtest.h>

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

class RecordedOutputs : public ServiceOutputs {
public:
    bool replaceSelection(ProcessId, const std::string& text) override {
        outputs.push_back("replaced: " + text);
        return true;
    }
    void copyToClipboard(const std::string& text) override { outputs.push_back("copied: " + text); }
    void showNotification(const std::string&, const std::string&,
                          std::function<void(const std::string&)>) override {}
    std::vector<std::string> outputs;
};

constexpr ProcessId kApplication = 4242;
const std::string kSecret = "my secret selection";

class DesktopServicePress : public test::WithQtApplication, public ::testing::Test {
protected:
    DesktopServicePress() {
        const std::pair<const char*, const char*> services[] = {{"Upper", "tr a-z A-Z\nOutput=replace"},
                                                                {"Print Nothing", "true\nOutput=replace"},
                                                                {"Link", "echo %s\nAccepts=url"},
                                                                {"Argument", "printf %%s %s\nOutput=copy"}};
        for (const auto& [name, exec] : services)
            writeBytes(folder / (std::string(name) + ".service"),
                       "[Quoddle Service]\nName=" + std::string(name) + "\nExec=" + exec + "\n");
    }
    void TearDown() override {
        for (const std::string& line : app.logLines)
            EXPECT_EQ(line.find("secret"), std::string::npos) << "the log holds selected text: " << line;
    }

    TempFolder folder;
    RecordedOutputs outputs;
    RecordingAppServices app;
    std::optional<DesktopServices::Selection> selection = DesktopServices::Selection{kSecret, true};
    ProcessId active = kApplication;
    ServiceCatalog catalog{{folder.path().string()}, [this](const std::string& line) { app.log(line); }};
    DesktopServices services{catalog,
                             outputs,
                             app,
                             [this](ProcessId) { return selection; },
                             [this]() -> std::optional<ProcessId> { return active; },
                             "/usr/bin/quoddle"};
};

// Each refusal beeps once, says why in the log, and leaves the selection as it was; so does a replacement
// the user switched to another application for while its program ran. A program that fails goes the way of
// one without output, and is logged as the desktop tier's hung service is.
TEST_F(DesktopServicePress, WhatCannotBeDoneBeepsAndChangesNothing) {
    using Selection = DesktopServices::Selection;
    const Selection editable{kSecret, true};
    const std::tuple<const char*, std::optional<Selection>, bool, const char*> refusals[] = {
        {"Print Nothing", editable, false, "no output"},
        {"Link", editable, false, "not one link"},
        {"Upper", Selection{kSecret, false}, false, "cannot be edited"},
        {"Argument", Selection{std::string("nul\0byte", 8), true}, false, "NUL"},
        {"Upper", std::nullopt, false, "no selected text"},
        {"Upper", editable, true, "no longer active"}};
    for (const auto& [service, refusedSelection, switched, why] : refusals) {
        selection = refusedSelection;
        active = kApplication;
        const int beeps = app.beeps;
        ASSERT_EQ(services.press(kApplication, service), ax::Error::success);
        if (switched) active = kApplication + 1;
        ASSERT_TRUE(spinUntil([&] { return app.beeps > beeps || !outputs.outputs.empty(); })) << service;
        ASSERT_FALSE(app.logLines.empty());
        EXPECT_NE(app.logLines.back().find(why), std::string::npos) << app.logLines.back();
    }
    EXPECT_EQ(app.beeps, static_cast<int>(std::size(refusals)));
    EXPECT_TRUE(outputs.outputs.empty());
    EXPECT_EQ(services.press(kApplication, "No Such Service"), ax::Error::cannotComplete);
}

// Plain text of at most so many characters: markup escaped, cut at whole characters (never inside an
// escape) with an ellipsis, bad bytes and NULs replaced, so that the bus takes any output of a service.
TEST(NotificationBodyTest, EscapesCutsAndRepairsTheText) {
    const std::tuple<std::string, std::size_t, std::string> cases[] = {
        {"<b>bold</b> &amp;", 2000, "&lt;b&gt;bold&lt;/b&gt; &amp;amp;"},
        {"abcdefg", 6, "abcde…"},
        {"éééééééééé", 5, "éééé…"},
        {"&&&&", 4, "&amp;&amp;&amp;&amp;"},
        {std::string("a\0b", 3), 2000, "a\uFFFDb"},
        {std::string(6, '\xff'), 4, "\uFFFD\uFFFD\uFFFD…"}};
    for (const auto& [text, limit, body] : cases)
        EXPECT_EQ(notificationBody(text, limit), body) << text;
    EXPECT_EQ(notificationBody(std::string(10000, 'x')), std::string(1999, 'x') + "…") << "the usual limit";
}

} // namespace
} // namespace quoddle
