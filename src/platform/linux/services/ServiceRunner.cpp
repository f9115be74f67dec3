#include "platform/linux/services/ServiceRunner.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstring>
#include <optional>
#include <string_view>
#include <sys/types.h>
#include <unistd.h>

extern char** environ;

namespace quoddle {

namespace {

constexpr std::array<std::string_view, 24> kPassedNames = {
    "DISPLAY",
    "XAUTHORITY",
    "WAYLAND_DISPLAY",
    "DBUS_SESSION_BUS_ADDRESS",
    "XDG_RUNTIME_DIR",
    "XDG_SESSION_TYPE",
    "XDG_CURRENT_DESKTOP",
    "DESKTOP_SESSION",
    "XDG_DATA_HOME",
    "XDG_DATA_DIRS",
    "XDG_CONFIG_HOME",
    "XDG_CONFIG_DIRS",
    "HOME",
    "USER",
    "LOGNAME",
    "PATH",
    "LANG",
    "LANGUAGE",
    "LC_ALL",
    "LC_CTYPE",
    "LC_COLLATE",
    "LC_MESSAGES",
    "BROWSER",
    "TMPDIR",
};

constexpr std::string_view kDefaultPath = "/usr/local/bin:/usr/bin:/bin";

std::string durationText(std::chrono::milliseconds duration) {
    const auto ms = duration.count();
    if (ms > 0 && ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
    return std::to_string(ms) + " ms";
}

std::string sizeText(std::size_t bytes) {
    constexpr std::size_t kib = 1024;
    constexpr std::size_t mib = 1024 * kib;
    if (bytes > 0 && bytes % mib == 0) return std::to_string(bytes / mib) + " MiB";
    if (bytes > 0 && bytes % kib == 0) return std::to_string(bytes / kib) + " KiB";
    return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

// Overwrites the bytes before they are released: the text must not linger in freed memory.
void wipe(std::string& text) {
    if (!text.empty()) explicit_bzero(text.data(), text.size());
    text.clear();
    text.shrink_to_fit();
}

void wipe(QByteArray& bytes) {
    if (!bytes.isEmpty()) explicit_bzero(bytes.data(), static_cast<std::size_t>(bytes.size()));
    bytes.clear();
}

QProcessEnvironment processEnvironment() {
    std::vector<std::string> current;
    for (char** entry = environ; entry && *entry; ++entry)
        current.emplace_back(*entry);
    QProcessEnvironment result;
    for (const std::string& entry : serviceEnvironment(current)) {
        const auto equals = entry.find('=');
        result.insert(QString::fromLocal8Bit(entry.data(), static_cast<qsizetype>(equals)),
                      QString::fromLocal8Bit(entry.data() + equals + 1,
                                             static_cast<qsizetype>(entry.size() - equals - 1)));
    }
    return result;
}

QString workingDirectory() {
    const QString home = QString::fromLocal8Bit(qgetenv("HOME"));
    // A start in a directory that is gone would fail for a reason that has nothing to do with the service.
    if (!home.isEmpty() && QFileInfo(home).isDir()) return home;
    return QStringLiteral("/");
}

// The system's reason, without the name of the call Qt made ("execve: No such file or directory").
std::string startErrorText(const QString& error) {
    std::string text = error.toStdString();
    const auto colon = text.find(": ");
    if (text.rfind("exec", 0) == 0 && colon != std::string::npos) text.erase(0, colon + 2);
    return text;
}

} // namespace

std::string ServiceRunResult::description() const {
    switch (outcome) {
    case Outcome::exited:
        return "exit status " + std::to_string(exitStatus);
    case Outcome::failedToStart:
        return "could not be started: " + (startError.empty() ? std::string("unknown reason") : startError);
    case Outcome::timedOut:
        return "killed after " + durationText(timeLimit) + " (time limit)";
    case Outcome::outputTooLarge:
        return "killed: more than " + sizeText(outputLimit) + " of output";
    case Outcome::killedBySignal:
        return exitStatus > 0 ? "ended by signal " + std::to_string(exitStatus) : std::string("crashed");
    }
    return "unknown outcome";
}

std::vector<std::string> serviceEnvironment(const std::vector<std::string>& environment) {
    std::vector<std::string> result;
    std::vector<std::string_view> seen;
    bool hasPath = false;
    for (const std::string& entry : environment) {
        const auto equals = entry.find('=');
        if (equals == std::string::npos || equals == 0) continue;
        const std::string_view name(entry.data(), equals);
        if (std::find(kPassedNames.begin(), kPassedNames.end(), name) == kPassedNames.end()) continue;
        // The first of repeated entries is the one getenv() would have answered.
        if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
        // An empty PATH would mean the working directory: the system's is safer.
        if (name == "PATH" && equals + 1 == entry.size()) continue;
        seen.push_back(name);
        if (name == "PATH") hasPath = true;
        result.push_back(entry);
    }
    if (!hasPath) result.push_back("PATH=" + std::string(kDefaultPath));
    return result;
}

struct ServiceRunner::Run {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    QTimer timer;
    Done done;
    QByteArray output;
    pid_t pid = 0;
    std::chrono::milliseconds timeLimit{0};
    // Set when the runner ends the program itself: the way it then ends is not the program's doing.
    std::optional<ServiceRunResult::Outcome> ending;
    bool concluded = false;
    ServiceRunResult result;

    // The program leads its own group (setsid in the child), so its children go with it.
    void kill() {
        if (pid > 0) ::kill(-pid, SIGKILL);
        process->kill();
    }
};

ServiceRunner::ServiceRunner(std::size_t outputLimit)
    : outputLimit_(outputLimit), self_(std::make_shared<ServiceRunner*>(this)) {}

ServiceRunner::~ServiceRunner() {
    self_.reset();
    for (auto& run : runs_) {
        QProcess& process = *run->process;
        QObject::disconnect(&process, nullptr, nullptr, nullptr);
        run->timer.stop();
        if (process.state() != QProcess::NotRunning) {
            run->kill();
            // Reaps it: SIGKILL cannot be ignored, so this returns at once.
            process.waitForFinished(5000);
        }
        wipe(run->output);
    }
}

std::size_t ServiceRunner::running() const {
    return runs_.size();
}

bool ServiceRunner::start(const std::vector<std::string>& commandLine, std::string input,
                          std::chrono::milliseconds timeLimit, Done done) {
    if (commandLine.empty() || runs_.size() >= kMaxRunning) {
        wipe(input);
        return false;
    }
    auto owned = std::make_unique<Run>();
    Run& run = *owned;
    runs_.push_back(std::move(owned));
    run.done = std::move(done);
    run.timeLimit = timeLimit;
    QProcess& process = *run.process;

    QStringList arguments;
    for (auto it = commandLine.begin() + 1; it != commandLine.end(); ++it)
        arguments.append(QString::fromStdString(*it));
    process.setProgram(QString::fromStdString(commandLine.front()));
    process.setArguments(arguments);
    process.setProcessEnvironment(processEnvironment());
    process.setWorkingDirectory(workingDirectory());
    process.setProcessChannelMode(QProcess::SeparateChannels);
    // Nobody reads it, and an unread pipe would stall a program that writes much of it.
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setChildProcessModifier([] { ::setsid(); });

    QObject::connect(&process, &QProcess::started,
                     [&run] { run.pid = static_cast<pid_t>(run.process->processId()); });
    QObject::connect(&process, &QProcess::readyReadStandardOutput, [this, &run] {
        QByteArray chunk = run.process->readAllStandardOutput();
        if (run.ending) {
            wipe(chunk);
            return;
        }
        run.output.append(chunk);
        wipe(chunk);
        if (static_cast<std::size_t>(run.output.size()) > outputLimit_) {
            run.ending = ServiceRunResult::Outcome::outputTooLarge;
            wipe(run.output);
            run.kill();
        }
    });
    QObject::connect(&process, &QProcess::errorOccurred, [this, &run](QProcess::ProcessError error) {
        // A write error only means the program closed its input early, which it may; crashes and the
        // rest end in finished().
        if (error != QProcess::FailedToStart) return;
        ServiceRunResult result;
        result.outcome = ServiceRunResult::Outcome::failedToStart;
        result.startError = startErrorText(run.process->errorString());
        conclude(run, std::move(result));
    });
    QObject::connect(&process, &QProcess::finished, [this, &run](int exitCode, QProcess::ExitStatus status) {
        QByteArray rest = run.process->readAllStandardOutput();
        if (!run.ending) run.output.append(rest);
        wipe(rest);
        ServiceRunResult result;
        if (!run.ending && static_cast<std::size_t>(run.output.size()) > outputLimit_)
            run.ending = ServiceRunResult::Outcome::outputTooLarge;
        if (run.ending) {
            result.outcome = *run.ending;
        } else if (status == QProcess::CrashExit) {
            // On Unix, Qt keeps the terminating signal's number as the exit code of a crash.
            result.outcome = ServiceRunResult::Outcome::killedBySignal;
            result.exitStatus = exitCode;
        } else {
            // What it started and left running stays: a browser that xdg-open opened is the point of it.
            result.outcome = ServiceRunResult::Outcome::exited;
            result.exitStatus = exitCode;
            result.output.assign(run.output.constData(), static_cast<std::size_t>(run.output.size()));
        }
        wipe(run.output);
        conclude(run, std::move(result));
    });
    run.timer.setSingleShot(true);
    QObject::connect(&run.timer, &QTimer::timeout, [&run] {
        if (run.concluded || run.ending) return;
        run.ending = ServiceRunResult::Outcome::timedOut;
        wipe(run.output);
        run.kill();
    });

    process.start(QIODevice::ReadWrite);
    if (!run.concluded) {
        if (run.pid <= 0) run.pid = static_cast<pid_t>(process.processId());
        run.timer.start(std::max(timeLimit, std::chrono::milliseconds(0)));
        // QProcess keeps a copy until the pipe takes it, so a program that reads slowly, or never, stalls
        // nothing; one that never reads and hangs meets the time limit.
        if (!input.empty()) process.write(input.data(), static_cast<qint64>(input.size()));
        process.closeWriteChannel();
    }
    wipe(input);
    return true;
}

void ServiceRunner::conclude(Run& run, ServiceRunResult result) {
    if (run.concluded) return;
    run.concluded = true;
    run.timer.stop();
    result.timeLimit = run.timeLimit;
    result.outputLimit = outputLimit_;
    run.result = std::move(result);
    // Reported from the loop (the application's), never from inside start() nor from inside one of the
    // process's signals.
    std::weak_ptr<ServiceRunner*> self = self_;
    Run* target = &run;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self, target] {
            if (auto runner = self.lock()) (*runner)->deliver(target);
        },
        Qt::QueuedConnection);
}

void ServiceRunner::deliver(Run* run) {
    auto found =
        std::find_if(runs_.begin(), runs_.end(), [run](const auto& each) { return each.get() == run; });
    if (found == runs_.end()) return;
    std::unique_ptr<Run> finished = std::move(*found);
    runs_.erase(found);
    Done done = std::move(finished->done);
    ServiceRunResult result = std::move(finished->result);
    QObject::disconnect(finished->process.get(), nullptr, nullptr, nullptr);
    finished.reset();
    // Last: done may start another program, or destroy the runner.
    if (done) done(std::move(result));
}

} // namespace quoddle
