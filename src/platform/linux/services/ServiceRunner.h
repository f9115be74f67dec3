#pragma once
// Running a desktop service's program: no shell, a clean environment, the selected text on standard input
// or in the arguments, a time limit and an output limit. Runs beside the main loop (QProcess), so a
// service that hangs never stalls the palette; its end is reported on the main loop.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quoddle {

struct ServiceRunResult {
    enum class Outcome {
        exited,         // the program ended by itself; see exitStatus
        failedToStart,  // the program could not be started (not found, not executable)
        timedOut,       // killed at the time limit
        outputTooLarge, // killed when its output passed the output limit
        killedBySignal, // ended by a signal it was not sent by the runner
    };
    Outcome outcome = Outcome::exited;
    int exitStatus = 0; // exited: the status; killedBySignal: the signal (0 when not known)
    std::string output; // the standard output, when the program exited
    // What description() needs to say why: the limits of the run, and the system's reason for a failed
    // start ("No such file or directory"). Never any of the text.
    std::chrono::milliseconds timeLimit{0};
    std::size_t outputLimit = 0;
    std::string startError;
    // For the log: what went wrong, without the text ("exit status 3", "killed after 5 s").
    std::string description() const;
    bool succeeded() const { return outcome == Outcome::exited && exitStatus == 0; }
};

// The environment a service gets, from "NAME=value" entries: the session's display and bus (a service may
// open a window or send a notification), the desktop's name and data directories (xdg-open picks the
// browser and the file handlers from them), the locale (it decides case conversion, sorting and the
// encoding of the program's output), home, user and search path. Nothing of Quoddle's own passes, such as
// LD_PRELOAD, QT_* or GTK_* settings meant for Quoddle's process. PATH, when missing or empty, is the
// system's usual one.
std::vector<std::string> serviceEnvironment(const std::vector<std::string>& environment);

class ServiceRunner {
public:
    static constexpr std::size_t kDefaultOutputLimit = 1024 * 1024;
    static constexpr std::size_t kMaxRunning = 4;
    using Done = std::function<void(ServiceRunResult)>;

    explicit ServiceRunner(std::size_t outputLimit = kDefaultOutputLimit);
    ~ServiceRunner(); // kills what still runs, without reporting it
    ServiceRunner(const ServiceRunner&) = delete;
    ServiceRunner& operator=(const ServiceRunner&) = delete;

    // Starts commandLine[0] with the rest as arguments. The input is written to its standard input, which
    // is then closed (empty input: closed at once). done runs on the main loop, exactly once, unless the
    // runner goes first. False, and no done, when kMaxRunning programs already run or commandLine is empty.
    // The program leads a process group of its own: at the limits the whole group is killed, so that a
    // child it left behind cannot keep running on the text.
    bool start(const std::vector<std::string>& commandLine, std::string input,
               std::chrono::milliseconds timeLimit, Done done);
    // The programs started and not yet reported.
    std::size_t running() const;

private:
    struct Run;
    void conclude(Run& run, ServiceRunResult result);
    void deliver(Run* run);

    std::size_t outputLimit_;
    std::vector<std::unique_ptr<Run>> runs_;
    // What the reports queued on the main loop look at: gone with the runner, so that none runs after it.
    std::shared_ptr<ServiceRunner*> self_;
};

} // namespace quoddle
