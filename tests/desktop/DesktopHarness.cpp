#include "DesktopHarness.h"

#include "platform/defaults/FileDefaultsStore.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <array>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quoddle::desktop {

namespace fs = std::filesystem;

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (true) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(10ms);
    }
}

fs::path buildDirectory() {
    return QUODDLE_BUILD_DIR;
}

fs::path screenshotDirectory() {
    fs::path folder = buildDirectory() / "desktop-screenshots";
    fs::create_directories(folder);
    return folder;
}

namespace {

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Runs a command to its end and returns what it printed.
std::string captured(const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& env) {
    fs::path output = fs::temp_directory_path() / ("quoddle-capture-" + std::to_string(getpid()));
    {
        Process process(arguments, env, output);
        waitFor([&] { return !process.running(); }, 10s);
    }
    std::string text = readFile(output);
    fs::remove(output);
    return text;
}

} // namespace

// --- Processes ---------------------------------------------------------------------------------------------

Process::Process(const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& environment, const fs::path& output) {
    pid_ = fork();
    if (pid_ == 0) {
        for (const auto& [name, value] : environment)
            setenv(name.c_str(), value.c_str(), 1);
        if (!output.empty()) {
            int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd >= 0) {
                dup2(fd, 1);
                dup2(fd, 2);
                close(fd);
            }
        }
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
}

Process::~Process() {
    if (running()) terminate(3s);
}

bool Process::running() {
    if (pid_ <= 0 || status_) return false;
    int status = 0;
    pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return done == 0;
}

void Process::signal(int number) {
    if (running()) kill(pid_, number);
}

int Process::terminate(std::chrono::milliseconds deadline) {
    if (running()) {
        kill(pid_, SIGCONT); // a stopped process cannot act on SIGTERM
        kill(pid_, SIGTERM);
        if (!waitFor([this] { return !running(); }, deadline)) {
            kill(pid_, SIGKILL);
            waitFor([this] { return !running(); }, 2s);
            return -1;
        }
    }
    return status_.value_or(-1);
}

// --- The screen --------------------------------------------------------------------------------------------

namespace {
// Windows come and go while the test looks at them: a request on a vanished one is no failure of the test.
int ignoreXErrors(Display*, XErrorEvent*) {
    return 0;
}
} // namespace

Screen::Screen() : display_(XOpenDisplay(nullptr)) {
    XSetErrorHandler(ignoreXErrors);
}
Screen::~Screen() {
    if (display_) XCloseDisplay(display_);
}

void Screen::moveTo(int x, int y) {
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XSync(display_, False);
}

void Screen::press(unsigned button) {
    XTestFakeButtonEvent(display_, button, True, CurrentTime);
    XSync(display_, False);
}

void Screen::release(unsigned button) {
    XTestFakeButtonEvent(display_, button, False, CurrentTime);
    XSync(display_, False);
}

void Screen::click(int x, int y, unsigned button) {
    moveTo(x, y);
    press(button);
    release(button);
}

void Screen::drag(int fromX, int fromY, int toX, int toY, bool letGo) {
    moveTo(fromX, fromY);
    press();
    const int steps = 8;
    for (int i = 1; i <= steps; ++i) {
        moveTo(fromX + (toX - fromX) * i / steps, fromY + (toY - fromY) * i / steps);
        // The toolkit follows a drag as motion events arrive; a person's drag takes a moment too.
        std::this_thread::sleep_for(15ms);
    }
    if (letGo) release();
}

void Screen::key(const std::string& name, const std::vector<std::string>& modifiers) {
    auto code = [&](const std::string& keyName) {
        return XKeysymToKeycode(display_, XStringToKeysym(keyName.c_str()));
    };
    // A hand takes a moment between keys; toolkits read modifier state from the events in between.
    auto post = [&](const std::string& keyName, bool down) {
        XTestFakeKeyEvent(display_, code(keyName), down, CurrentTime);
        XSync(display_, False);
        std::this_thread::sleep_for(12ms);
    };
    for (const std::string& modifier : modifiers)
        post(modifier, true);
    post(name, true);
    post(name, false);
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
        post(*it, false);
}

namespace {

std::optional<long> cardinalProperty(Display* display, Window window, const char* name) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1, False, XA_CARDINAL,
                           &type, &format, &count, &after, &data) != Success)
        return std::nullopt;
    std::optional<long> value;
    if (data && count == 1 && format == 32) value = *reinterpret_cast<long*>(data);
    if (data) XFree(data);
    return value;
}

void collectClients(Display* display, Window window, std::vector<Window>& clients, int depth) {
    if (depth > 4) return;
    if (cardinalProperty(display, window, "_NET_WM_PID")) clients.push_back(window);
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return;
    for (unsigned i = 0; i < count; ++i)
        collectClients(display, children[i], clients, depth + 1);
    if (children) XFree(children);
}

} // namespace

unsigned long Screen::windowNamed(pid_t pid, const std::string& title) {
    std::vector<Window> clients;
    collectClients(display_, DefaultRootWindow(display_), clients, 0);
    for (Window window : clients) {
        if (cardinalProperty(display_, window, "_NET_WM_PID") != pid) continue;
        XTextProperty name{};
        if (XGetWMName(display_, window, &name) && name.value) {
            std::string text(reinterpret_cast<char*>(name.value), name.nitems);
            XFree(name.value);
            if (text == title) return window;
        }
    }
    return 0;
}

namespace {

// The title as a window manager shows it: _NET_WM_NAME (UTF-8), else WM_NAME.
std::string windowTitle(Display* display, Window window) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 1024, False,
                           XInternAtom(display, "UTF8_STRING", False), &type, &format, &count, &after,
                           &data) == Success &&
        data && format == 8)
        title.assign(reinterpret_cast<char*>(data), count);
    if (data) XFree(data);
    XTextProperty name{};
    if (title.empty() && XGetWMName(display, window, &name) && name.value) {
        title.assign(reinterpret_cast<char*>(name.value), name.nitems);
        XFree(name.value);
    }
    return title;
}

} // namespace

unsigned long Screen::windowTitled(const std::string& start, pid_t pid) {
    std::vector<Window> clients;
    collectClients(display_, DefaultRootWindow(display_), clients, 0);
    for (Window window : clients)
        if ((pid == 0 || cardinalProperty(display_, window, "_NET_WM_PID") == pid) &&
            windowTitle(display_, window).starts_with(start))
            return window;
    return 0;
}

std::optional<pid_t> Screen::windowProcess(unsigned long window) {
    if (std::optional<long> pid = cardinalProperty(display_, window, "_NET_WM_PID"))
        return static_cast<pid_t>(*pid);
    return std::nullopt;
}

unsigned long Screen::topWindow() {
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) return 0;
    Window top = 0;
    // Bottom to top: the last viewable frame that holds a client is in front.
    for (unsigned i = count; i-- > 0 && !top;) {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(display_, children[i], &attributes) || attributes.map_state != IsViewable ||
            attributes.c_class == InputOnly)
            continue;
        std::vector<Window> clients;
        collectClients(display_, children[i], clients, 0);
        if (!clients.empty()) top = clients.front();
    }
    if (children) XFree(children);
    return top;
}

bool Screen::moveWindow(unsigned long window, int x, int y) {
    const std::optional<Box> before = mappedFrame(window);
    if (!before) return false;
    XMoveWindow(display_, window, x, y);
    XSync(display_, False);
    return waitFor([&] {
        const std::optional<Box> now = mappedFrame(window);
        return now && (now->x != before->x || now->y != before->y);
    });
}

std::optional<Box> Screen::mappedFrame(unsigned long window) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, window, &attributes) || attributes.map_state != IsViewable)
        return std::nullopt;
    Window child;
    int x = 0, y = 0;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
    return Box{x, y, attributes.width, attributes.height};
}

std::optional<std::chrono::steady_clock::time_point>
Screen::waitForMap(unsigned long window, const std::function<void()>& meanwhile,
                   std::chrono::milliseconds deadline) {
    XSelectInput(display_, window, StructureNotifyMask);
    XSync(display_, False);
    const auto end = std::chrono::steady_clock::now() + deadline;
    std::optional<std::chrono::steady_clock::time_point> mapped;
    while (!mapped && std::chrono::steady_clock::now() < end) {
        while (!mapped && XPending(display_)) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == MapNotify && event.xmap.window == window)
                mapped = std::chrono::steady_clock::now();
        }
        if (meanwhile) meanwhile();
        if (!mapped) std::this_thread::sleep_for(200us);
    }
    XSelectInput(display_, window, NoEventMask);
    return mapped;
}

void Screen::activate(unsigned long window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2; // from a pager: the window manager does as it is told
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, DefaultRootWindow(display_), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XSync(display_, False);
}

std::string Screen::clipboardText() {
    std::string text = captured({"xclip", "-o", "-selection", "clipboard"}, {});
    // xclip says so on its error output when the clipboard holds nothing.
    return text.starts_with("Error: ") ? std::string() : text;
}

void Screen::setClipboardText(const std::string& text) {
    const fs::path file = fs::temp_directory_path() / ("quoddle-clipboard-" + std::to_string(getpid()));
    std::ofstream(file, std::ios::binary) << text;
    // -quiet keeps xclip in the foreground, so the process the test records is the owner.
    clipboardOwner_ = std::make_unique<Process>(
        std::vector<std::string>{"xclip", "-quiet", "-selection", "clipboard", "-i", file.string()},
        std::map<std::string, std::string>{}, fs::temp_directory_path() / "quoddle-xclip.log");
    waitFor([&] { return clipboardText() == text; });
    fs::remove(file);
}

void Screen::screenshot(const fs::path& file) {
    captured({"import", "-window", "root", file.string()}, {});
}

// --- AT-SPI ------------------------------------------------------------------------------------------------

Accessible::Accessible(const Accessible& other)
    : object_(other.object_ ? static_cast<AtspiAccessible*>(g_object_ref(other.object_)) : nullptr) {}

Accessible& Accessible::operator=(const Accessible& other) {
    if (this != &other) {
        if (object_) g_object_unref(object_);
        object_ = other.object_ ? static_cast<AtspiAccessible*>(g_object_ref(other.object_)) : nullptr;
    }
    return *this;
}

Accessible::~Accessible() {
    if (object_) g_object_unref(object_);
}

Accessible Accessible::application(pid_t pid, std::chrono::milliseconds deadline) {
    static const bool initialized = [] {
        atspi_set_timeout(1000, 1000);
        return atspi_init() >= 0;
    }();
    Accessible found;
    if (!initialized) return found;
    waitFor(
        [&] {
            AtspiAccessible* desktop = atspi_get_desktop(0);
            const int count = atspi_accessible_get_child_count(desktop, nullptr);
            for (int i = 0; i < count && !found; ++i) {
                AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, nullptr);
                if (!app) continue;
                if (static_cast<pid_t>(atspi_accessible_get_process_id(app, nullptr)) == pid &&
                    atspi_accessible_get_child_count(app, nullptr) > 0)
                    found = Accessible(app);
                else
                    g_object_unref(app);
            }
            g_object_unref(desktop);
            return bool(found);
        },
        deadline);
    return found;
}

namespace {

void collect(AtspiAccessible* object, AtspiRole role, const std::optional<std::string>& name, int depth,
             std::vector<Accessible>& found, bool firstOnly) {
    if (!object || depth < 0 || (firstOnly && !found.empty())) return;
    const int count = atspi_accessible_get_child_count(object, nullptr);
    for (int i = 0; i < count && i < 2000; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(object, i, nullptr);
        if (!child) continue;
        bool matches = atspi_accessible_get_role(child, nullptr) == role;
        if (matches && name) {
            gchar* childName = atspi_accessible_get_name(child, nullptr);
            std::string text = childName ? childName : "";
            g_free(childName);
            while (!text.empty() && text.back() == ' ')
                text.pop_back();
            matches = text == *name;
        }
        if (matches) {
            found.emplace_back(static_cast<AtspiAccessible*>(g_object_ref(child)));
            if (firstOnly) {
                g_object_unref(child);
                return;
            }
        }
        collect(child, role, name, depth - 1, found, firstOnly);
        g_object_unref(child);
    }
}

} // namespace

Accessible Accessible::find(AtspiRole role, const std::optional<std::string>& name, int depth) const {
    std::vector<Accessible> found;
    collect(object_, role, name, depth, found, true);
    return found.empty() ? Accessible() : found.front();
}

std::vector<Accessible> Accessible::findAll(AtspiRole role, int depth) const {
    std::vector<Accessible> found;
    collect(object_, role, std::nullopt, depth, found, false);
    return found;
}

void Accessible::forgetCachedTree() const {
    if (object_) atspi_accessible_clear_cache(object_);
}

std::vector<Accessible> Accessible::children() const {
    std::vector<Accessible> children;
    const int count = object_ ? atspi_accessible_get_child_count(object_, nullptr) : 0;
    for (int i = 0; i < count && i < 2000; ++i)
        if (AtspiAccessible* child = atspi_accessible_get_child_at_index(object_, i, nullptr))
            children.emplace_back(child);
    return children;
}

std::string Accessible::name() const {
    gchar* text = object_ ? atspi_accessible_get_name(object_, nullptr) : nullptr;
    std::string name = text ? text : "";
    g_free(text);
    return name;
}

std::optional<Box> Accessible::extents() const {
    AtspiComponent* component = object_ ? atspi_accessible_get_component_iface(object_) : nullptr;
    if (!component) return std::nullopt;
    AtspiRect* rect = atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, nullptr);
    g_object_unref(component);
    if (!rect) return std::nullopt;
    Box box{rect->x, rect->y, rect->width, rect->height};
    g_free(rect);
    return box;
}

bool Accessible::hasState(AtspiStateType state) const {
    AtspiStateSet* states = object_ ? atspi_accessible_get_state_set(object_) : nullptr;
    const bool shown = states && atspi_state_set_contains(states, state);
    if (states) g_object_unref(states);
    return shown;
}

std::string Accessible::text() const {
    AtspiText* text = object_ ? atspi_accessible_get_text_iface(object_) : nullptr;
    if (!text) return {};
    gchar* content = atspi_text_get_text(text, 0, -1, nullptr);
    std::string result = content ? content : "";
    g_free(content);
    g_object_unref(text);
    return result;
}

std::string Accessible::selectedText() const {
    AtspiText* text = object_ ? atspi_accessible_get_text_iface(object_) : nullptr;
    if (!text) return {};
    std::string result;
    if (atspi_text_get_n_selections(text, nullptr) > 0)
        if (AtspiRange* range = atspi_text_get_selection(text, 0, nullptr)) {
            gchar* content = atspi_text_get_text(text, range->start_offset, range->end_offset, nullptr);
            result = content ? content : "";
            g_free(content);
            g_free(range);
        }
    g_object_unref(text);
    return result;
}

std::optional<Box> Accessible::characterExtents(int offset) const {
    AtspiText* text = object_ ? atspi_accessible_get_text_iface(object_) : nullptr;
    if (!text) return std::nullopt;
    AtspiRect* rect = atspi_text_get_character_extents(text, offset, ATSPI_COORD_TYPE_SCREEN, nullptr);
    g_object_unref(text);
    if (!rect) return std::nullopt;
    Box box{rect->x, rect->y, rect->width, rect->height};
    g_free(rect);
    return box;
}

bool Accessible::doAction() const {
    AtspiAction* action = object_ ? atspi_accessible_get_action_iface(object_) : nullptr;
    if (!action) return false;
    const bool done = atspi_action_do_action(action, 0, nullptr);
    g_object_unref(action);
    return done;
}

bool Accessible::setValue(double value) const {
    AtspiValue* iface = object_ ? atspi_accessible_get_value_iface(object_) : nullptr;
    if (!iface) return false;
    const bool done = atspi_value_set_current_value(iface, value, nullptr);
    g_object_unref(iface);
    return done;
}

bool Accessible::setText(const std::string& text) const {
    AtspiEditableText* iface = object_ ? atspi_accessible_get_editable_text_iface(object_) : nullptr;
    if (!iface) return false;
    const bool done = atspi_editable_text_set_text_contents(iface, text.c_str(), nullptr);
    g_object_unref(iface);
    return done;
}

// --- Quoddle and the applications --------------------------------------------------------------------------

Quoddle::Quoddle(const PlistDictionary& preferences, const std::map<std::string, std::string>& serviceFiles,
                 const std::map<std::string, std::string>& environment) {
    start(preferences, serviceFiles, environment, Start{});
}

Quoddle::Quoddle(const PlistDictionary& preferences, const Start& how) {
    start(preferences, {}, {}, how);
}

void Quoddle::start(const PlistDictionary& preferences,
                    const std::map<std::string, std::string>& serviceFiles,
                    const std::map<std::string, std::string>& environment, const Start& how) {
    char pattern[] = "/tmp/quoddle-e2e-XXXXXX";
    folder_ = mkdtemp(pattern);
    configHome_ = folder_ / "config";
    logFile_ = folder_ / "quoddle.log";
    fs::create_directories(configHome_ / "quoddle");
    if (!how.asInstalled || !preferences.empty()) {
        FileDefaultsStore store(configHome_ / "quoddle" / "preferences.plist");
        // A test looks at the palette, not at the settings window.
        if (!how.asInstalled) store.set("ShowSettingsOnLaunch", false);
        for (const auto& [key, value] : preferences)
            store.set(key, value);
        store.synchronize();
    }
    const fs::path dataHome = folder_ / "data";
    fs::create_directories(dataHome / "quoddle" / "services");
    for (const auto& [name, text] : serviceFiles)
        std::ofstream(dataHome / "quoddle" / "services" / name) << text;
    std::map<std::string, std::string> variables = environment;
    variables["XDG_CONFIG_HOME"] = configHome_;
    variables["XDG_DATA_HOME"] = dataHome;
    // No services installed on the machine: only the source tree's, beside the build folder.
    variables.try_emplace("XDG_DATA_DIRS", (folder_ / "no-system-data").string());
    std::vector<std::string> arguments{(buildDirectory() / "quoddle").string()};
    if (how.verbose) arguments.push_back("--verbose");
    process_ = std::make_unique<Process>(arguments, variables, logFile_);
    waitFor([this] { return log().find("quoddle: ready") != std::string::npos || !process_->running(); },
            10s);
}

Quoddle::~Quoddle() {
    process_->terminate();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

int Quoddle::quit() {
    return process_->terminate();
}

std::optional<PlistValue> Quoddle::storedPreference(const std::string& key) const {
    FileDefaultsStore store(configHome_ / "quoddle" / "preferences.plist");
    if (const PlistValue* value = store.find(key)) return *value;
    return std::nullopt;
}

std::string Quoddle::log() const {
    return readFile(logFile_);
}

std::string Quoddle::historyText() const {
    return captured({(buildDirectory() / "quoddle").string(), "history", "export"},
                    {{"XDG_CONFIG_HOME", configHome_}});
}

int Quoddle::storedUses(const std::string& applicationKey, const std::string& title) const {
    std::istringstream lines(historyText());
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');)
            if (!cell.empty()) fields.push_back(cell);
        if (fields.size() >= 3 && fields[0] == applicationKey && fields[2] == title)
            return std::stoi(fields[1]);
    }
    return 0;
}

std::optional<Box> Quoddle::palette(Screen& screen) {
    const unsigned long window = screen.windowNamed(pid(), "Quoddle Palette");
    return window ? screen.mappedFrame(window) : std::nullopt;
}

std::vector<std::pair<std::string, Box>> Quoddle::paletteButtons() {
    auto read = [this] {
        std::vector<std::pair<std::string, Box>> buttons;
        Accessible app = Accessible::application(pid(), 2s);
        for (const Accessible& window : app.children()) {
            if (window.name() != "Quoddle palette") continue;
            // The palette's buttons are made anew at every showing: what libatspi remembers of them is stale.
            window.forgetCachedTree();
            for (const Accessible& button : window.findAll(ATSPI_ROLE_PUSH_BUTTON, 4))
                if (std::optional<Box> box = button.extents(); box && button.showing())
                    buttons.emplace_back(button.name(), *box);
        }
        return buttons;
    };
    // Qt tells AT-SPI about new buttons a moment after they appear: read until two readings a little
    // apart agree.
    std::vector<std::pair<std::string, Box>> previous = read(), current;
    const auto same = [](const auto& a, const auto& b) { return a.first == b.first; };
    for (int reading = 0; reading < 20; ++reading) {
        std::this_thread::sleep_for(100ms);
        current = read();
        if (!current.empty() && current.size() == previous.size() &&
            std::equal(current.begin(), current.end(), previous.begin(), same))
            break;
        previous = current;
    }
    return current;
}

Application::Application(const std::vector<std::string>& arguments, const std::string& windowTitle)
    : Application(arguments, windowTitle, Launch{}) {}

Application::Application(const std::vector<std::string>& arguments, const std::string& windowTitle,
                         const Launch& launch) {
    char pattern[] = "/tmp/quoddle-app-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd >= 0) close(fd);
    outputFile_ = pattern;
    process_ = std::make_unique<Process>(arguments, launch.environment, outputFile_);
    Screen screen;
    const pid_t started = process_->pid();
    auto find = [&]() -> unsigned long {
        const pid_t owner = launch.windowOfAnyProcess ? 0 : started;
        if (launch.titleStarts || owner == 0) return screen.windowTitled(windowTitle, owner);
        return screen.windowNamed(owner, windowTitle);
    };
    waitFor([&] { return (window_ = find()) && screen.mappedFrame(window_); }, launch.deadline);
    if (window_ && launch.windowOfAnyProcess) windowPid_ = screen.windowProcess(window_).value_or(0);
    if (launch.accessible) Accessible::application(pid(), launch.deadline);
}

Application::~Application() {
    process_->terminate(3s);
    // The process it handed over to is not the started one's child: it is stopped by its pid.
    if (windowPid_ > 0 && windowPid_ != process_->pid() && kill(windowPid_, SIGTERM) == 0)
        if (!waitFor([&] { return kill(windowPid_, 0) != 0; }, 5s)) kill(windowPid_, SIGKILL);
    std::error_code ignored;
    fs::remove(outputFile_, ignored);
}

Accessible Application::textView() const {
    Accessible view;
    for (const Accessible& text : accessible().findAll(ATSPI_ROLE_TEXT))
        if (auto box = text.extents(); box && (!view || box->height > view.extents()->height)) view = text;
    return view;
}

std::string Application::output() const {
    return readFile(outputFile_);
}

} // namespace quoddle::desktop
