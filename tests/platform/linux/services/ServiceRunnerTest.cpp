#include "platform/linux/services/ServiceRunner.h"
#include "platform/linux/QtTestApp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace quoddle {
namespace {

using namespace std::chrono_literals;
using Outcome = ServiceRunResult::Outcome;
using test::spinUntil;
using test::turnLoop;

// What a done callback saw; shared with the callback, which may outlive the test's stack frame.
struct Report {
    int calls = 0;
    std::optional<ServiceRunResult> result;
};

ServiceRunner::Done recordInto(const std::shared_ptr<Report>& report) {
    return [report](ServiceRunResult result) {
        ++report->calls;
        report->result = std::move(result);
    };
}

// Dead: no such process, or a zombie whose parent has not reaped it yet.
bool processGone(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    if (!stat) return true;
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    return close == std::string::npos || line.substr(close + 2, 1) == "Z";
}

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The pid a test program wrote to the file, once it has written all of it.
std::optional<pid_t> pidFrom(const std::filesystem::path& path) {
    const std::string text = fileText(path);
    if (text.empty() || text.back() != '\n') return std::nullopt;
    return static_cast<pid_t>(std::stol(text));
}

class ServiceRunnerTest : public test::WithQtApplication, public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "quoddle-runner.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Runs the program to its end and returns what done reported, checking that done came exactly once.
    ServiceRunResult run(ServiceRunner& on, const std::vector<std::string>& commandLine,
                         std::string input = {}, std::chrono::milliseconds limit = 10s) {
        auto report = std::make_shared<Report>();
        EXPECT_TRUE(on.start(commandLine, std::move(input), limit, recordInto(report)));
        EXPECT_TRUE(spinUntil([&] { return report->calls > 0; }, limit + 10s)) << commandLine.front();
        turnLoop();
        EXPECT_EQ(report->calls, 1);
        return report->result.value_or(ServiceRunResult{});
    }
    ServiceRunResult run(const std::vector<std::string>& commandLine, std::string input = {},
                         std::chrono::milliseconds limit = 10s) {
        return run(runner, commandLine, std::move(input), limit);
    }

    std::filesystem::path dir;
    ServiceRunner runner;
};

TEST_F(ServiceRunnerTest, PassesHostileTextThroughStandardInputByteForByte) {
    const std::string marker = (dir / "ran").string();
    const std::string text = std::string("it's \"quoted\" $(touch ") + marker + ") ; touch " + marker +
                             " `touch " + marker + "` | & > " + marker + std::string("\0nul", 4) +
                             " \xff\xfe\xc3 bad UTF-8\n";
    const ServiceRunResult result = run({"cat"}, text);
    EXPECT_EQ(result.outcome, Outcome::exited);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.output, text);
    EXPECT_FALSE(std::filesystem::exists(marker));

    // No input: standard input is closed at once, so a program reading it ends.
    const ServiceRunResult empty = run({"cat"});
    EXPECT_TRUE(empty.succeeded());
    EXPECT_EQ(empty.output, "");
}

TEST_F(ServiceRunnerTest, PassesArgumentsVerbatimAndRunsNothingInThem) {
    const std::string marker = (dir / "ran").string();
    const ServiceRunResult result = run({"printf", "[%s]\\n", "$(touch " + marker + ")", "; touch " + marker,
                                         "`touch " + marker + "`", "", "two words", "*"});
    ASSERT_TRUE(result.succeeded()) << result.description();
    EXPECT_EQ(result.output, "[$(touch " + marker + ")]\n[; touch " + marker + "]\n[`touch " + marker +
                                 "`]\n[]\n[two words]\n[*]\n");
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(ServiceRunnerTest, ReportsExitStatusSignalsAndKeepsStandardErrorOut) {
    const ServiceRunResult failed = run({"/bin/sh", "-c", "echo out; echo noise >&2; exit 3"});
    EXPECT_EQ(failed.outcome, Outcome::exited);
    EXPECT_EQ(failed.exitStatus, 3);
    EXPECT_FALSE(failed.succeeded());
    EXPECT_EQ(failed.output, "out\n");
    EXPECT_EQ(failed.description(), "exit status 3");

    const ServiceRunResult crashed = run({"/bin/sh", "-c", "kill -SEGV $$"});
    EXPECT_EQ(crashed.outcome, Outcome::killedBySignal);
    EXPECT_EQ(crashed.exitStatus, SIGSEGV);
    EXPECT_EQ(crashed.description(), "ended by signal 11");
    EXPECT_FALSE(crashed.succeeded());

    // Far more than a pipe holds, on standard error: nobody reads it, and the program must not stall.
    const ServiceRunResult noisy = run({"/bin/sh", "-c", "head -c 3000000 /dev/zero >&2; echo done"});
    EXPECT_TRUE(noisy.succeeded()) << noisy.description();
    EXPECT_EQ(noisy.output, "done\n");
}

TEST_F(ServiceRunnerTest, KillsAProgramAtTheTimeLimitWithTheChildrenItLeft) {
    const ServiceRunResult hung = run({"sleep", "60"}, {}, 300ms);
    EXPECT_EQ(hung.outcome, Outcome::timedOut);
    EXPECT_EQ(hung.description(), "killed after 300 ms (time limit)");
    EXPECT_FALSE(hung.succeeded());

    // What came out before the limit is not a result.
    const ServiceRunResult partial = run({"/bin/sh", "-c", "echo partial; sleep 60"}, {}, 300ms);
    EXPECT_EQ(partial.outcome, Outcome::timedOut);
    EXPECT_EQ(partial.output, "");

    // A child holding standard output open neither delays the report nor survives it.
    const auto pidFile = dir / "child";
    const ServiceRunResult forked =
        run({"/bin/sh", "-c", "sleep 60 & echo $! > \"$1\"; sleep 60", "sh", pidFile.string()}, {}, 300ms);
    EXPECT_EQ(forked.outcome, Outcome::timedOut);
    const auto child = pidFrom(pidFile);
    ASSERT_TRUE(child.has_value());
    EXPECT_TRUE(spinUntil([&] { return processGone(*child); }));
}

TEST_F(ServiceRunnerTest, KillsAProgramWhoseOutputPassesTheLimit) {
    const ServiceRunResult flood = run({"head", "-c", "5000000", "/dev/zero"});
    EXPECT_EQ(flood.outcome, Outcome::outputTooLarge);
    EXPECT_EQ(flood.output, "");
    EXPECT_EQ(flood.description(), "killed: more than 1 MiB of output");

    ServiceRunner small(4096);
    const ServiceRunResult endless = run(small, {"yes"});
    EXPECT_EQ(endless.outcome, Outcome::outputTooLarge);
    EXPECT_EQ(endless.description(), "killed: more than 4 KiB of output");

    const ServiceRunResult exact = run(small, {"head", "-c", "4096", "/dev/zero"});
    EXPECT_TRUE(exact.succeeded()) << exact.description();
    EXPECT_EQ(exact.output, std::string(4096, '\0'));
    EXPECT_EQ(run(small, {"head", "-c", "4097", "/dev/zero"}).outcome, Outcome::outputTooLarge);
}

TEST_F(ServiceRunnerTest, ReportsAProgramThatCannotStartOnTheLoop) {
    const auto notExecutable = dir / "script";
    std::ofstream(notExecutable) << "#!/bin/sh\necho hi\n";
    ::chmod(notExecutable.c_str(), 0644);
    for (const std::string& program :
         {std::string("/nonexistent/quoddle-program"), std::string("quoddle-no-such-program"),
          notExecutable.string(), std::string()}) {
        SCOPED_TRACE(program);
        auto report = std::make_shared<Report>();
        ASSERT_TRUE(runner.start({program, "argument"}, "text", 5s, recordInto(report)));
        // Never from inside start(): the caller may not be ready for it there.
        EXPECT_EQ(report->calls, 0);
        ASSERT_TRUE(spinUntil([&] { return report->calls > 0; }));
        turnLoop();
        EXPECT_EQ(report->calls, 1);
        EXPECT_EQ(report->result->outcome, Outcome::failedToStart);
        const std::string description = report->result->description();
        EXPECT_EQ(description.rfind("could not be started: ", 0), 0u) << description;
        EXPECT_GT(description.size(), std::string("could not be started: ").size());
        EXPECT_EQ(description.find("text"), std::string::npos) << description;
        if (program.find('/') != std::string::npos) {
            EXPECT_EQ(description, "could not be started: " + std::string(program == notExecutable
                                                                              ? "Permission denied"
                                                                              : "No such file or directory"));
        }
    }
    EXPECT_EQ(runner.running(), 0u);
}

TEST_F(ServiceRunnerTest, LargeInputNeitherStallsNorIsLost) {
    std::string large(8 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>(i * 7 % 251);

    const ServiceRunResult ignored = run({"true"}, large);
    EXPECT_EQ(ignored.outcome, Outcome::exited);
    EXPECT_EQ(ignored.exitStatus, 0);

    EXPECT_EQ(run({"sleep", "60"}, large, 300ms).outcome, Outcome::timedOut);

    // Input and output flowing at the same time, each far more than a pipe holds.
    ServiceRunner roomy(16 * 1024 * 1024);
    const ServiceRunResult echoed = run(roomy, {"cat"}, large);
    ASSERT_TRUE(echoed.succeeded()) << echoed.description();
    EXPECT_TRUE(echoed.output == large) << "output of " << echoed.output.size() << " bytes differs";
}

TEST_F(ServiceRunnerTest, RunsAtMostFourAtOnce) {
    std::vector<std::shared_ptr<Report>> reports;
    for (int i = 0; i < 3; ++i) {
        reports.push_back(std::make_shared<Report>());
        ASSERT_TRUE(runner.start({"sleep", "60"}, {}, 60s, recordInto(reports.back())));
    }
    auto quick = std::make_shared<Report>();
    ASSERT_TRUE(runner.start({"true"}, {}, 60s, recordInto(quick)));
    EXPECT_EQ(runner.running(), ServiceRunner::kMaxRunning);

    auto refused = std::make_shared<Report>();
    EXPECT_FALSE(runner.start({"true"}, "text", 60s, recordInto(refused)));
    EXPECT_FALSE(runner.start({}, {}, 60s, recordInto(refused)));

    // A place is free again once a program has been reported.
    ASSERT_TRUE(spinUntil([&] { return quick->calls == 1; }));
    EXPECT_EQ(runner.running(), 3u);
    auto next = std::make_shared<Report>();
    EXPECT_TRUE(runner.start({"true"}, {}, 60s, recordInto(next)));
    ASSERT_TRUE(spinUntil([&] { return next->calls == 1; }));
    turnLoop();
    EXPECT_EQ(refused->calls, 0);
    for (const auto& report : reports)
        EXPECT_EQ(report->calls, 0);
}

TEST_F(ServiceRunnerTest, DestroyingTheRunnerKillsWhatRunsWithoutReporting) {
    auto owned = std::make_unique<ServiceRunner>();
    auto report = std::make_shared<Report>();
    const auto pidFile = dir / "pids";
    ASSERT_TRUE(
        owned->start({"/bin/sh", "-c", "sleep 60 & echo $$ $! > \"$1\"; wait", "sh", pidFile.string()}, {},
                     60s, recordInto(report)));
    ASSERT_TRUE(spinUntil([&] { return pidFrom(pidFile).has_value(); }));
    std::istringstream pids(fileText(pidFile));
    pid_t program = 0;
    pid_t child = 0;
    pids >> program >> child;
    ASSERT_GT(program, 0);
    ASSERT_GT(child, 0);
    ASSERT_FALSE(processGone(program));

    owned.reset();
    EXPECT_TRUE(processGone(program));
    EXPECT_TRUE(spinUntil([&] { return processGone(child); }));
    turnLoop();
    EXPECT_EQ(report->calls, 0);
}

TEST_F(ServiceRunnerTest, DoneMayStartAnotherProgramOrDestroyTheRunner) {
    auto owned = std::make_unique<ServiceRunner>();
    auto second = std::make_shared<Report>();
    bool first = false;
    ASSERT_TRUE(owned->start({"echo", "one"}, {}, 10s, [&](ServiceRunResult result) {
        first = true;
        EXPECT_EQ(result.output, "one\n");
        EXPECT_EQ(owned->running(), 0u);
        EXPECT_TRUE(owned->start({"echo", "two"}, {}, 10s, [&, second](ServiceRunResult again) {
            ++second->calls;
            second->result = std::move(again);
            owned.reset();
        }));
    }));
    ASSERT_TRUE(spinUntil([&] { return second->calls == 1; }));
    EXPECT_TRUE(first);
    EXPECT_EQ(second->result->output, "two\n");
    EXPECT_EQ(owned, nullptr);
    turnLoop();
    EXPECT_EQ(second->calls, 1);
}

TEST_F(ServiceRunnerTest, TheProgramGetsTheSessionsEnvironmentOnlyInTheHomeDirectory) {
    ::setenv("QUODDLE_SECRET_TEST", "1", 1);
    ::setenv("QT_QUODDLE_TEST", "1", 1);
    const ServiceRunResult result = run({"env"});
    ::unsetenv("QUODDLE_SECRET_TEST");
    ::unsetenv("QT_QUODDLE_TEST");
    ASSERT_TRUE(result.succeeded()) << result.description();

    std::vector<std::string> names;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);)
        names.push_back(line.substr(0, line.find('=')));
    // What the program got is what the environment filter keeps: nothing was added on the way, and
    // Quoddle's own variables stayed behind.
    std::vector<std::string> entries;
    std::istringstream again(result.output);
    for (std::string line; std::getline(again, line);)
        entries.push_back(line);
    EXPECT_EQ(serviceEnvironment(entries).size(), entries.size());
    for (const char* own : {"QUODDLE_SECRET_TEST", "QT_QUODDLE_TEST"})
        EXPECT_EQ(std::find(names.begin(), names.end(), own), names.end()) << own << " was passed";
    EXPECT_NE(std::find(names.begin(), names.end(), "PATH"), names.end());
    if (std::getenv("DISPLAY")) {
        EXPECT_NE(std::find(names.begin(), names.end(), "DISPLAY"), names.end());
    }

    const char* home = std::getenv("HOME");
    std::error_code error;
    const std::string expected =
        home && std::filesystem::is_directory(home) ? std::filesystem::canonical(home, error).string() : "/";
    EXPECT_EQ(run({"pwd", "-P"}).output, expected + "\n");
}

TEST(ServiceEnvironmentTest, KeepsTheSessionsVariablesAndASearchPath) {
    const std::vector<std::string> entries = {
        "DISPLAY=:1",
        "LD_PRELOAD=/tmp/x.so",
        "QT_QPA_PLATFORM=offscreen",
        "HOME=/home/u",
        "NO_EQUALS_SIGN",
        "=value",
        "PATH=/usr/bin:/bin",
        "PATH=/tmp/evil",
        "LANG=de_DE.UTF-8",
        "LC_ALL=",
        "DISPLAYX=:2",
        "DBUS_SESSION_BUS_ADDRESS=unix:path=/b=c",
    };
    EXPECT_EQ(
        serviceEnvironment(entries),
        (std::vector<std::string>{"DISPLAY=:1", "HOME=/home/u", "PATH=/usr/bin:/bin", "LANG=de_DE.UTF-8",
                                  "LC_ALL=", "DBUS_SESSION_BUS_ADDRESS=unix:path=/b=c"}));

    // Without a search path, or with an empty one (the working directory), the system's.
    for (const auto& entries :
         {std::vector<std::string>{"HOME=/h"}, std::vector<std::string>{"PATH=", "HOME=/h"}})
        EXPECT_EQ(serviceEnvironment(entries),
                  (std::vector<std::string>{"HOME=/h", "PATH=/usr/local/bin:/usr/bin:/bin"}));
}

} // namespace
} // namespace quoddle
