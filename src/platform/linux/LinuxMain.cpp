#include "platform/linux/LinuxMain.h"

#include "Quoddle.h"
#include "history/SettingsText.h"
#include "platform/linux/LinuxDesktop.h"
#include "platform/linux/qt/DesktopTheme.h"
#include "platform/linux/services/ServicesCommand.h"
#include "platform/linux/session/InstanceChannel.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <atspi/atspi.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quoddle {

namespace {

namespace fs = std::filesystem;

// How long a later start waits for the running instance: to come forward, and to hand over or apply a
// history (a text of megabytes takes the instance a moment to parse).
constexpr std::chrono::milliseconds kReopenDeadline{2000};
constexpr std::chrono::milliseconds kHistoryDeadline{5000};

constexpr const char* kAlreadyRunning = "quoddle: Quoddle is already running for this user.\n";

// The folder of the instance lock and socket: the session's runtime folder (private to the user), else a
// folder of the user's own in the temporary folder. None when that one is not safely the user's.
std::optional<fs::path> instanceFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) return fs::path(runtime);
    std::error_code error;
    fs::path folder = fs::temp_directory_path(error) / ("quoddle-" + std::to_string(geteuid()));
    if (error) folder = fs::path("/tmp") / ("quoddle-" + std::to_string(geteuid()));
    ::mkdir(folder.c_str(), 0700);
    // Anyone may make a folder of that name first: use it only when it is ours and closed to others.
    struct stat made {};
    if (::lstat(folder.c_str(), &made) != 0 || !S_ISDIR(made.st_mode) || made.st_uid != geteuid() ||
        (made.st_mode & 077) != 0)
        return std::nullopt;
    return folder;
}

enum class Lock { Taken, HeldByAnother, Unavailable };

// Tries the instance lock. A taken lock is held through `held` (the kernel releases it however the process
// ends); without `held`, for the life of the process.
Lock takeInstanceLock(const fs::path& folder, bool create, int* held = nullptr) {
    const fs::path path = folder / "quoddle.lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
    if (fd < 0) return Lock::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        if (held) *held = fd;
        return Lock::Taken;
    }
    ::close(fd);
    return Lock::HeldByAnother;
}

fs::path socketPath(const fs::path& folder) {
    return folder / "quoddle.socket";
}

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    // Only async-signal-safe work here, and errno kept: the signal may land between a failed call of the
    // history save and its look at errno. The write never blocks, however many signals come.
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] auto ignored = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

// SIGTERM, SIGINT and SIGHUP (the session ending) end the application through Qt's loop, so the
// core's termination, the history save, runs as for a normal quit.
//
// A second signal while that runs cannot start a second save or disturb the first: the handler only writes
// a byte, the loop that would read it has ended, and the core hears of termination once (Qt's
// aboutToQuit, guarded by QtApplicationTarget). The save writes a temporary file and renames it over the
// preferences, so a signal that kills the process outright (SIGKILL) leaves the old file or the new one.
void quitOnTerminationSignals(QApplication& application) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [] {
        char bytes[64];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        // exit, not quit: the end of the session is no request that a window may turn down.
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

std::optional<std::string> readAll(std::istream& stream, std::size_t limit) {
    std::string text;
    char buffer[65536];
    while (text.size() <= limit && stream.read(buffer, sizeof buffer).gcount() > 0)
        text.append(buffer, static_cast<std::size_t>(stream.gcount()));
    if (stream.bad()) return std::nullopt;
    return text;
}

// The text of FILE or of standard input ("-"), as the command on the preferences file reads it; reading
// stops once it is past the limit.
std::optional<std::string> readImportSource(const std::string& source, std::istream& in, std::ostream& err) {
    std::optional<std::string> text;
    errno = 0;
    if (source == "-") {
        text = readAll(in, kMaxInstanceTextBytes);
    } else if (std::error_code ignored; fs::is_directory(source, ignored)) {
        errno = EISDIR;
    } else if (std::ifstream file(source, std::ios::binary); file) {
        text = readAll(file, kMaxInstanceTextBytes);
    }
    if (!text) {
        err << "quoddle: cannot read " << (source == "-" ? "standard input" : "'" + source + "'");
        if (errno != 0) err << ": " << std::strerror(errno);
        err << '\n';
    }
    return text;
}

int importThroughInstance(const fs::path& folder, const std::string& source, std::istream& in,
                          std::ostream& out, std::ostream& err) {
    std::optional<std::string> text = readImportSource(source, in, err);
    if (!text) return 1;
    // A byte-order mark is the file's, not the text's: left on, it would become part of the first key.
    if (text->starts_with("\xEF\xBB\xBF")) text->erase(0, 3);
    if (text->size() > kMaxInstanceTextBytes) {
        err << "quoddle: the running Quoddle imports at most " << (kMaxInstanceTextBytes >> 20)
            << " MiB of settings text; nothing was imported\n";
        return 1;
    }
    std::string problem;
    std::optional<InstanceReply> reply =
        askInstance(socketPath(folder), InstanceRequest::ImportHistory, *text, kHistoryDeadline, &problem);
    if (!reply) {
        err << "quoddle: Quoddle runs for this user but does not answer (" << problem
            << "); nothing was imported\n";
        return 1;
    }
    if (!reply->ok) {
        err << "quoddle: the running Quoddle refused the import: " << reply->reason << '\n';
        return 1;
    }
    out << reply->text << '\n';
    return reply->text == kApplySettingTextResult ? 0 : 1;
}

} // namespace

const AppServices& linuxProductStrings() {
    static const LinuxLocalizedAppServices strings;
    return strings;
}

namespace {

std::optional<int> runHistoryCommandOnRunningInstance(const std::vector<std::string>& arguments,
                                                      std::ostream& out, std::ostream& err,
                                                      std::istream& in) {
    const bool isExport = arguments == std::vector<std::string>{"history", "export"};
    const bool isImport = arguments.size() == 3 && arguments[0] == "history" && arguments[1] == "import";
    if (!isExport && !isImport) return std::nullopt;
    const std::optional<fs::path> folder = instanceFolder();
    if (!folder) return std::nullopt;
    // Held through an import on the file, so an instance starting meanwhile cannot load the old history
    // and later save it over the import; an export needs no such care.
    int held = -1;
    switch (takeInstanceLock(*folder, isImport, &held)) {
    case Lock::Unavailable:
        return std::nullopt;
    case Lock::Taken:
        if (isExport) ::close(held);
        return std::nullopt;
    case Lock::HeldByAnother:
        break;
    }
    if (isImport) return importThroughInstance(*folder, arguments[2], in, out, err);

    std::string problem;
    std::optional<InstanceReply> reply =
        askInstance(socketPath(*folder), InstanceRequest::ExportHistory, {}, kHistoryDeadline, &problem);
    if (!reply) {
        err << "quoddle: Quoddle runs for this user but does not answer (" << problem
            << "); this is the stored history, without its changes since it last saved\n";
        return std::nullopt;
    }
    if (!reply->ok) {
        err << "quoddle: the running Quoddle refused the export: " << reply->reason << '\n';
        return 1;
    }
    out << reply->text;
    return 0;
}

} // namespace

std::optional<int> runLinuxCommand(const std::vector<std::string>& arguments, std::ostream& out,
                                   std::ostream& err, std::istream& in) {
    if (arguments.front() == "services")
        return runServicesCommand(std::vector<std::string>(arguments.begin() + 1, arguments.end()),
                                  serviceDirectories(linuxProductStrings().bundlePath().value_or("")), out,
                                  err);
    if (arguments.front() == "history") return runHistoryCommandOnRunningInstance(arguments, out, err, in);
    return std::nullopt;
}

int runLinuxDesktopApplication(int argc, char** argv) {
    // The instance is settled first: a second start brings the first one forward, display or not.
    const std::optional<fs::path> folder = instanceFolder();
    const Lock lock = folder ? takeInstanceLock(*folder, true) : Lock::Unavailable;
    if (lock == Lock::HeldByAnother) {
        std::optional<InstanceReply> reply =
            askInstance(socketPath(*folder), InstanceRequest::Reopen, {}, kReopenDeadline);
        if (reply && reply->ok) return 0;
        std::cerr << kAlreadyRunning;
        return 1;
    }
    // Bound before any thread exists (its umask is set for the bind); served once the core is up.
    // No lock can be had: better two instances than none, but then no socket either.
    std::string socketProblem = folder ? "the instance lock cannot be made" : "no private folder for it";
    std::unique_ptr<InstanceServer> server =
        lock == Lock::Taken ? InstanceServer::bind(socketPath(*folder), &socketProblem) : nullptr;

    DisplayHandle display = openDisplay();
    if (!display) {
        const char* name = std::getenv("DISPLAY");
        std::cerr << "quoddle: no X11 display can be reached (DISPLAY=" << (name ? name : "") << ").\n"
                  << "Quoddle runs in an X11 session; 'quoddle demo' runs the simulated walkthrough.\n";
        return 1;
    }
    // Every AT-SPI call is bounded, the first one to an application included (by default that one may
    // wait 15 s for an application that hangs).
    atspi_set_timeout(250, 0);
    atspi_init();

    // Quoddle's windows are for X11: its placement and input monitoring have no Wayland form.
    qputenv("QT_QPA_PLATFORM", "xcb");
    // Qt follows the desktop's scale (the Xft.dpi that desktops set for a high-DPI screen, QT_SCALE_FACTOR):
    // the core's points are Qt's pixels, and the backend scales what comes in X pixels (input, other
    // windows, AT-SPI) at its boundary.
    QApplication application(argc, argv);
    QApplication::setApplicationName("quoddle");
    QApplication::setApplicationDisplayName("Quoddle");
    QApplication::setQuitOnLastWindowClosed(false);
    followDesktopTheme(application);
    quitOnTerminationSignals(application);

    LinuxDesktop desktop(std::move(display));
    desktop.explainWhenAsked(std::find(argv + 1, argv + argc, std::string_view("--verbose")) != argv + argc);
    AppServices& appServices = desktop.platform().appServices;
    std::string problem;
    if (!desktop.start(&problem))
        appServices.log("clicks and keys cannot be watched, so the palette cannot open: " + problem);
    if (!server) appServices.log("later starts cannot reach this one: " + socketProblem);
    Quoddle quoddle(desktop.platform());
    QTimer::singleShot(0, &application, [&quoddle, &server, &appServices] {
        quoddle.start();
        // Only now: an import served before the stored history is loaded would be overwritten by it.
        if (server) {
            ApplicationActions& actions = quoddle.actions();
            server->serve(InstanceRequests{[&actions] { actions.reopen(); },
                                           [&actions] { return actions.historyText(); },
                                           [&actions](const std::string& text) {
                                               return actions.importHistoryText(text);
                                           }},
                          [&appServices](const std::string& line) { appServices.log(line); });
        }
        appServices.log("ready, observing " + std::to_string(quoddle.observedApplicationCount()) +
                        " applications");
    });
    const int status = application.exec();
    // The history is saved; a request now would be answered by an instance that is gone.
    server.reset();
    return status;
}

} // namespace quoddle
