#pragma once
// What the end-to-end tests need to act as a person on the virtual desktop and to look from outside:
// processes they start (and always stop), real input through XTest, X windows, and AT-SPI reads of the
// applications' widgets. Every wait has a deadline; nothing sleeps for a fixed time to let things happen.

#include "platform/PlistValue.h"
#include "platform/TempFolder.h"

#include <atspi/atspi.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

struct _XDisplay;
using Display = _XDisplay;

namespace quoddle::desktop {

using namespace std::chrono_literals;

// Polls the condition every few milliseconds until it holds or the deadline passes; true when it held.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline = 5s);

std::filesystem::path buildDirectory();
inline std::filesystem::path screenshotDirectory() {
    std::filesystem::create_directories(buildDirectory() / "desktop-screenshots");
    return buildDirectory() / "desktop-screenshots";
}

// A program the test started, stopped (SIGTERM, then SIGKILL) and reaped when it goes. Its standard
// output goes to the output file, its errors there too unless they have a file of their own, and its
// standard input comes from the input file.
class Process {
public:
    Process(const std::vector<std::string>& arguments,
            const std::map<std::string, std::string>& environment = {},
            const std::filesystem::path& output = {}, const std::filesystem::path& errors = {},
            const std::filesystem::path& input = {});
    ~Process() {
        if (running()) terminate(3s);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    // Sends SIGTERM and waits for the exit; the exit status, or -1 when it had to be killed.
    int terminate(std::chrono::milliseconds deadline = 5s);
    void signal(int number);

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

struct Box {
    int x = 0, y = 0, width = 0, height = 0;
    int centerX() const { return x + width / 2; }
    int centerY() const { return y + height / 2; }
};

// The test's own connection to the display, for input and for looking at windows.
class Screen {
public:
    Screen();
    ~Screen();
    bool available() const { return display_ != nullptr; }

    void moveTo(int x, int y);
    void press(unsigned button = 1);
    void release(unsigned button = 1);
    void click(int x, int y, unsigned button = 1);
    // A drag from one point to another in small steps, as a hand makes it; the button is let go at the
    // end unless `release` is false.
    void drag(int fromX, int fromY, int toX, int toY, bool release = true);
    // A key by its X name ("Return", "Escape", "a", "F10"), with modifiers held ("Control_L", "Alt_L", ...).
    void key(const std::string& name, const std::vector<std::string>& modifiers = {});

    // A client window (mapped or not) whose title starts with this (browsers and editors add to a
    // document's name), of the process or of any when it is 0; 0 when there is none.
    unsigned long window(const std::string& title, pid_t pid = 0);
    // The process a window says it belongs to (_NET_WM_PID).
    std::optional<pid_t> windowProcess(unsigned long window);
    // The client window whose frame is on top of the stack (the one a person sees in front); 0 when none.
    unsigned long topWindow();
    // Asks the window manager to move the window's client area there, and waits until it has.
    bool moveWindow(unsigned long window, int x, int y);
    std::optional<Box> mappedFrame(unsigned long window);
    void activate(unsigned long window);
    // Asks the window manager to close the window, as its title bar's close button does.
    void close(unsigned long window);
    // The text the CLIPBOARD selection holds, read with xclip (the user's clipboard is the test's here).
    std::string clipboardText();
    // Makes the CLIPBOARD hold the text, as a user's copy in another application would (an xclip process
    // owns it until the screen goes).
    void setClipboardText(const std::string& text);
    // Saves the whole screen (for a person to look at what the test saw).
    void screenshot(const std::filesystem::path& file);

private:
    Display* display_ = nullptr;
    TempFolder folder_;
    std::unique_ptr<Process> clipboardOwner_;
};

// Reads applications' widgets through AT-SPI, as a screen reader would.
class Accessible {
public:
    explicit Accessible(AtspiAccessible* object = nullptr) : object_(object) {}
    Accessible(const Accessible& other)
        : object_(other.object_ ? static_cast<AtspiAccessible*>(g_object_ref(other.object_)) : nullptr) {}
    Accessible& operator=(Accessible other) {
        std::swap(object_, other.object_);
        return *this;
    }
    ~Accessible() {
        if (object_) g_object_unref(object_);
    }
    explicit operator bool() const { return object_ != nullptr; }

    // The application registered by this process, once it has registered.
    static Accessible application(pid_t pid, std::chrono::milliseconds deadline = 5s);
    // The first (or every) descendant, depth first and not below closed menus' popups, with the role and,
    // when given, the name (trailing spaces left out: mousepad pads its menu items).
    Accessible find(AtspiRole role, const std::optional<std::string>& name = std::nullopt,
                    int depth = 12) const;
    std::vector<Accessible> findAll(AtspiRole role, int depth = 12,
                                    const std::optional<std::string>& name = std::nullopt) const;
    void forgetCachedTree() const {
        if (object_) atspi_accessible_clear_cache(object_);
    }
    std::string name() const;
    std::optional<Box> extents() const;
    bool showing() const { return hasState(ATSPI_STATE_SHOWING); }
    bool hasState(AtspiStateType state) const;
    std::string text() const;
    std::string selectedText() const;
    // Where a character of its text is drawn, as the toolkit says (empty boxes when it does not know).
    std::optional<Box> characterExtents(int offset) const;
    // Acting as a screen reader's user does: a widget's first action (a button's press, a tab's
    // selection), a spin box's value, an editable text's whole contents. False when the widget refuses.
    bool doAction() const;
    bool setValue(double value) const;
    bool setText(const std::string& text) const;

private:
    AtspiAccessible* object_ = nullptr;
};

// A program run to its end: its exit status, what it printed and its errors.
struct Finished {
    int status = -1;
    std::string out, err;
};
// Runs a command to its end (at most 15 s), its output and errors in files of the folder.
Finished runToEnd(const std::vector<std::string>& arguments,
                  const std::map<std::string, std::string>& environment, const std::filesystem::path& folder,
                  const std::filesystem::path& input = "/dev/null");

// A history of these titles used so many times, under each of the application keys ("*" for all).
PlistDictionary historyOf(const std::vector<std::string>& applicationKeys,
                          const std::vector<std::string>& titles, int count);

// How a test starts Quoddle.
struct QuoddleOptions {
    // As a person meets it the first time: none of the tests' own preferences, so the settings
    // window opens at start as by default.
    bool asInstalled = false;
    // Logs why a selection opened no palette, for a failing test to show.
    bool verbose = false;
    // The user's desktop-service files, by name; the services shipped in the source tree are found too.
    std::map<std::string, std::string> serviceFiles = {};
    // Added to the test's own.
    std::map<std::string, std::string> environment = {};
};

// A Quoddle started for one test, on preferences of its own, which it can start again on them.
class Quoddle {
public:
    // Writes the preferences and the service files, then starts it.
    explicit Quoddle(const PlistDictionary& preferences = {}, const QuoddleOptions& options = {});
    // Starts it (again) and waits until it says it is ready; false when it did not get there.
    bool start();
    bool ready() const { return log().find("quoddle: ready") != std::string::npos; }
    Process& process() { return *process_; }
    pid_t pid() const { return process_->pid(); }
    // Ends it as the session would (SIGTERM), so it saves its history; the status it exits with.
    int quit() { return process_->terminate(); }
    // What the running (or the last) start logged.
    std::string log() const { return readBytes(logFile_); }

    // Runs the program with the arguments beside it (same preferences, same session) to its end, standard
    // input from the file.
    Finished run(const std::vector<std::string>& arguments, const std::filesystem::path& input = "/dev/null");
    // The history as settings text: the running Quoddle's own while it runs, else what it saved.
    std::string historyText() { return run({"history", "export"}).out; }
    // The use count of a title under an application key, from that history; 0 when absent.
    int storedUses(const std::string& applicationKey, const std::string& title);
    std::filesystem::path preferencesFile() const { return configHome() / "quoddle" / "preferences.plist"; }
    // Its XDG_CONFIG_HOME (preferences, autostart entries).
    std::filesystem::path configHome() const { return folder_ / "config"; }
    // Writes a file of the test's into its folder; the file's path.
    std::filesystem::path file(const std::string& name, const std::string& contents) const {
        writeBytes(folder_ / name, contents);
        return folder_ / name;
    }

    // The palette's frame while it is shown.
    std::optional<Box> palette(Screen& screen) {
        const unsigned long window = paletteWindow(screen);
        return window ? screen.mappedFrame(window) : std::nullopt;
    }
    // The palette's buttons as AT-SPI shows them (label and frame).
    std::vector<std::pair<std::string, Box>> paletteButtons();
    // The palette's X window, mapped or not; 0 before Quoddle made it.
    unsigned long paletteWindow(Screen& screen) { return screen.window("Quoddle Palette", pid()); }

private:
    std::map<std::string, std::string> environment() const;

    TempFolder folder_;
    QuoddleOptions options_;
    std::filesystem::path logFile_;
    int starts_ = 0;
    std::unique_ptr<Process> process_;
};

// How an application is started and found.
struct Launch {
    // The program hands over to another process that makes the window (soffice): the application is
    // the window's process, also stopped when the application goes.
    bool windowOfAnyProcess = false;
    // It registers with AT-SPI (xterm does not): the application waits for that too.
    bool accessible = true;
    std::chrono::milliseconds deadline = 10s;
};

// A sample or Debian application started for one test, with its window up (the first of its process
// whose title starts with the one given) and registered with AT-SPI.
class Application {
public:
    Application(const std::vector<std::string>& arguments, const std::string& windowTitle,
                const Launch& launch = {});
    ~Application();
    // The process whose window it is (the one started, unless it handed over).
    pid_t pid() const { return windowPid_ > 0 ? windowPid_ : process_->pid(); }
    Process& process() { return *process_; }
    unsigned long window() const { return window_; }
    Accessible accessible() const { return Accessible::application(pid()); }
    // Its tallest text widget: the sample applications' text view (the other is a one-line entry), an
    // editor's document.
    Accessible textView() const;
    std::string output() const { return readBytes(folder_ / "output"); }

private:
    TempFolder folder_;
    std::unique_ptr<Process> process_;
    unsigned long window_ = 0;
    pid_t windowPid_ = 0;
};

// The sample applications of tests/apps, by program, which is also the name Quoddle keeps their history
// under.
inline const std::string kGtkSample = "quoddle-gtk-sample", kQtSample = "quoddle-qt-sample";
// Starts it with the text in its text view.
std::unique_ptr<Application> startSample(const std::string& program, const std::string& text);
// Drags along the first line of the text view from its start over so many pixels (to the line's end when
// 0) and lets go there; the release point.
std::pair<int, int> dragAlongFirstLine(Screen& screen, const Accessible& view, int width = 137);

} // namespace quoddle::desktop
