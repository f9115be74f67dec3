#pragma once
// What the end-to-end tests need to act as a person on the virtual desktop and to look from outside:
// processes they start (and always stop), real input through XTest, X windows, and AT-SPI reads of the
// applications' widgets. Every wait has a deadline; nothing sleeps for a fixed time to let things happen.

#include "platform/PlistValue.h"

#include <atspi/atspi.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

struct _XDisplay;
using Display = _XDisplay;

namespace quoddle::desktop {

using namespace std::chrono_literals;

// Polls the condition every few milliseconds until it holds or the deadline passes; true when it held.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline = 5s);

// A program the test started, stopped (SIGTERM, then SIGKILL) and reaped when it goes.
class Process {
public:
    Process(const std::vector<std::string>& arguments,
            const std::map<std::string, std::string>& environment = {},
            const std::filesystem::path& output = {});
    ~Process();
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
    bool contains(int px, int py) const { return px >= x && px < x + width && py >= y && py < y + height; }
};

// The test's own connection to the display, for input and for looking at windows.
class Screen {
public:
    Screen();
    ~Screen();
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;
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

    // The window of a process whose title is this (mapped or not); 0 when there is none.
    unsigned long windowNamed(pid_t pid, const std::string& title);
    // A window whose title starts with this (browsers and LibreOffice add their names), of the process or,
    // when it is 0, of any; 0 when there is none.
    unsigned long windowTitled(const std::string& start, pid_t pid = 0);
    // The process a window says it belongs to (_NET_WM_PID).
    std::optional<pid_t> windowProcess(unsigned long window);
    // The client window whose frame is on top of the stack (the one a person sees in front); 0 when none.
    unsigned long topWindow();
    // Asks the window manager to move the window's client area there, and waits until it has.
    bool moveWindow(unsigned long window, int x, int y);
    std::optional<Box> mappedFrame(unsigned long window);
    // Waits for the window to be mapped (it must not be yet), calling `meanwhile` as it waits; the moment
    // the server reported the map, or none at the deadline.
    std::optional<std::chrono::steady_clock::time_point> waitForMap(unsigned long window,
                                                                    const std::function<void()>& meanwhile,
                                                                    std::chrono::milliseconds deadline = 2s);
    void activate(unsigned long window);
    // The text the CLIPBOARD selection holds, read with xclip (the user's clipboard is the test's here).
    std::string clipboardText();
    // Makes the CLIPBOARD hold the text, as a user's copy in another application would (an xclip process
    // owns it until the screen goes).
    void setClipboardText(const std::string& text);
    // Saves the whole screen (for a person to look at what the test saw).
    void screenshot(const std::filesystem::path& file);

private:
    Display* display_ = nullptr;
    std::unique_ptr<Process> clipboardOwner_;
};

// Reads applications' widgets through AT-SPI, as a screen reader would.
class Accessible {
public:
    explicit Accessible(AtspiAccessible* object = nullptr) : object_(object) {}
    Accessible(const Accessible& other);
    Accessible& operator=(const Accessible& other);
    ~Accessible();
    explicit operator bool() const { return object_ != nullptr; }

    // The application registered by this process, once it has registered.
    static Accessible application(pid_t pid, std::chrono::milliseconds deadline = 5s);
    // The first descendant (depth first, not below closed menus' popups) with the role and, when given,
    // the name.
    Accessible find(AtspiRole role, const std::optional<std::string>& name = std::nullopt,
                    int depth = 12) const;
    std::vector<Accessible> findAll(AtspiRole role, int depth = 12) const;
    std::vector<Accessible> children() const;
    void forgetCachedTree() const;
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

// A Quoddle started for one test, on preferences of its own.
class Quoddle {
public:
    struct Start {
        // As a person meets it the first time: none of the tests' own preferences, so the settings
        // window opens at start as by default.
        bool asInstalled = false;
        // Logs why a selection opened no palette, for a failing test to show.
        bool verbose = false;
    };
    // Writes the preferences and the user's desktop-service files first, then starts the program (with
    // the environment's variables added to the test's) and waits until it says it is ready. The services
    // shipped in the source tree are found too.
    explicit Quoddle(const PlistDictionary& preferences = {},
                     const std::map<std::string, std::string>& serviceFiles = {},
                     const std::map<std::string, std::string>& environment = {});
    Quoddle(const PlistDictionary& preferences, const Start& start);
    ~Quoddle();
    pid_t pid() const { return process_->pid(); }
    // Ends it as the session would (SIGTERM), so it saves its history; the status it exits with.
    int quit();
    // The history as settings text: the running Quoddle's own while it runs, else what it saved.
    std::string historyText() const;
    // The use count of a title under an application key, from that history; 0 when absent.
    int storedUses(const std::string& applicationKey, const std::string& title) const;
    std::string log() const;
    // A preference as the file holds it now (the running Quoddle writes changes soon after they are made).
    std::optional<PlistValue> storedPreference(const std::string& key) const;
    // Its XDG_CONFIG_HOME (preferences, autostart entries).
    const std::filesystem::path& configHome() const { return configHome_; }
    // The palette's frame while it is shown.
    std::optional<Box> palette(Screen& screen);
    // The palette's buttons as AT-SPI shows them (label and frame).
    std::vector<std::pair<std::string, Box>> paletteButtons();
    // The palette's X window, mapped or not; 0 before Quoddle made it.
    unsigned long paletteWindow(Screen& screen) { return screen.windowNamed(pid(), "Quoddle Palette"); }

private:
    void start(const PlistDictionary& preferences, const std::map<std::string, std::string>& serviceFiles,
               const std::map<std::string, std::string>& environment, const Start& start);

    std::filesystem::path folder_;
    std::filesystem::path configHome_;
    std::filesystem::path logFile_;
    std::unique_ptr<Process> process_;
};

// A sample or Debian application started for one test, with its window up and registered with AT-SPI.
class Application {
public:
    struct Launch {
        // The window's title only starts with the one given.
        bool titleStarts = false;
        // The program hands over to another process that makes the window (soffice): the application is
        // the window's process, also stopped when the application goes.
        bool windowOfAnyProcess = false;
        // It registers with AT-SPI (xterm does not): the application waits for that too.
        bool accessible = true;
        std::chrono::milliseconds deadline = 10s;
        std::map<std::string, std::string> environment;
    };
    Application(const std::vector<std::string>& arguments, const std::string& windowTitle);
    Application(const std::vector<std::string>& arguments, const std::string& windowTitle,
                const Launch& launch);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;
    // The process whose window it is (the one started, unless it handed over).
    pid_t pid() const { return windowPid_ > 0 ? windowPid_ : process_->pid(); }
    Process& process() { return *process_; }
    unsigned long window() const { return window_; }
    Accessible accessible() const { return Accessible::application(pid()); }
    // The sample applications' text view: their tallest text widget (the other is a one-line entry).
    Accessible textView() const;
    std::string output() const;

private:
    std::filesystem::path outputFile_;
    std::unique_ptr<Process> process_;
    unsigned long window_ = 0;
    pid_t windowPid_ = 0;
};

std::filesystem::path buildDirectory();
std::filesystem::path screenshotDirectory();

} // namespace quoddle::desktop
