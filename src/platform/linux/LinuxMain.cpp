#include "platform/linux/LinuxMain.h"

#include "QuoddleAppDelegate.h"
#include "platform/linux/LinuxDesktop.h"

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
#include <iostream>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quoddle {

namespace {

// Where the lock that keeps one instance per user lives: the session's runtime folder when there is one.
std::filesystem::path instanceLockPath() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::filesystem::path(runtime) / "quoddle.lock";
    return std::filesystem::temp_directory_path() / ("quoddle-" + std::to_string(getuid()) + ".lock");
}

// Holds the lock for the life of the process (the kernel releases it when the process ends, however).
bool takeInstanceLock() {
    const std::filesystem::path path = instanceLockPath();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return true; // no lock can be made: better two instances than none
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    ::close(fd);
    return false;
}

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here: the main loop ends the application.
    [[maybe_unused]] auto ignored = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the application through Qt's loop, so the controller's termination (the history
// save) runs as for a normal quit.
void quitOnTerminationSignals(QApplication& application) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [&application] {
        char byte;
        [[maybe_unused]] auto ignored = ::read(signalPipe[0], &byte, 1);
        application.quit();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

} // namespace

const AppServices& linuxProductStrings() {
    static const LinuxLocalizedAppServices strings;
    return strings;
}

int runLinuxDesktopApplication(int argc, char** argv) {
    DisplayHandle display = openDisplay();
    if (!display) {
        const char* name = std::getenv("DISPLAY");
        std::cerr << "quoddle: no X11 display can be reached (DISPLAY=" << (name ? name : "") << ").\n"
                  << "Quoddle runs in an X11 session; 'quoddle demo' runs the simulated walkthrough.\n";
        return 1;
    }
    if (!takeInstanceLock()) {
        std::cerr << "quoddle: Quoddle is already running for this user.\n";
        return 1;
    }
    // Every AT-SPI call is bounded, the first one to an application included (by default that one may
    // wait 15 s for an application that hangs).
    atspi_set_timeout(250, 0);
    atspi_init();

    // Quoddle's windows are for X11: its placement and input monitoring have no Wayland form.
    qputenv("QT_QPA_PLATFORM", "xcb");
    // One pixel is one point: input and AT-SPI report X pixels, and the palette is placed in them.
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication application(argc, argv);
    QApplication::setApplicationName("quoddle");
    QApplication::setApplicationDisplayName("Quoddle");
    QApplication::setQuitOnLastWindowClosed(false);
    quitOnTerminationSignals(application);

    LinuxDesktop desktop(std::move(display));
    std::string problem;
    if (!desktop.start(&problem))
        desktop.platform().appServices.log("clicks and keys cannot be watched, so the palette cannot open: " +
                                           problem);
    QuoddleAppDelegate controller(desktop.platform());
    QTimer::singleShot(0, &application, [&controller, &desktop] {
        controller.applicationDidFinishLaunching();
        desktop.platform().appServices.log("ready, observing " + std::to_string(observerDic.size()) +
                                           " applications");
    });
    return application.exec();
}

} // namespace quoddle
