#include "DesktopHarness.h"

#include "platform/defaults/FileDefaultsStore.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quoddle::desktop {

namespace fs = std::filesystem;

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    for (const auto end = std::chrono::steady_clock::now() + deadline;; std::this_thread::sleep_for(10ms)) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
    }
}

fs::path buildDirectory() {
    return QUODDLE_BUILD_DIR;
}

// --- Processes ---------------------------------------------------------------------------------------------

Process::Process(const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& environment, const fs::path& output,
                 const fs::path& errors, const fs::path& input) {
    pid_ = fork();
    if (pid_ != 0) return;
    for (const auto& [name, value] : environment)
        setenv(name.c_str(), value.c_str(), 1);
    auto redirect = [](const fs::path& file, int flags, int descriptor) {
        const int fd = file.empty() ? -1 : ::open(file.c_str(), flags, 0600);
        if (fd < 0) return;
        dup2(fd, descriptor);
        close(fd);
    };
    redirect(input, O_RDONLY, 0);
    redirect(output, O_WRONLY | O_CREAT | O_TRUNC, 1);
    if (!errors.empty())
        redirect(errors, O_WRONLY | O_CREAT | O_TRUNC, 2);
    else if (!output.empty())
        dup2(1, 2);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

bool Process::running() {
    if (pid_ <= 0 || status_) return false;
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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

Finished runToEnd(const std::vector<std::string>& arguments,
                  const std::map<std::string, std::string>& environment, const fs::path& folder,
                  const fs::path& input) {
    Process process(arguments, environment, folder / "run.out", folder / "run.err", input);
    waitFor([&] { return !process.running(); }, 15s);
    const int status = process.terminate();
    return {status, readBytes(folder / "run.out"), readBytes(folder / "run.err")};
}

// --- The screen --------------------------------------------------------------------------------------------

Screen::Screen() : display_(XOpenDisplay(nullptr)) {
    // Windows come and go while the test looks at them: a request on a vanished one is no failure of it.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
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
    // A hand takes a moment between keys; toolkits read modifier state from the events in between.
    auto post = [&](const std::string& keyName, bool down) {
        XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, XStringToKeysym(keyName.c_str())), down,
                          CurrentTime);
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

// A window property of up to `length` items of the type (of any with AnyPropertyType), as bytes; empty when
// the window has none.
std::string property(Display* display, Window window, const char* name, Atom type, long length) {
    Atom actualType;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string value;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, length, False, type,
                           &actualType, &format, &count, &after, &data) == Success &&
        data && (type == AnyPropertyType || actualType == type))
        value.assign(reinterpret_cast<char*>(data), count * (format == 32 ? sizeof(long) : format / 8));
    if (data) XFree(data);
    return value;
}

std::optional<pid_t> processOf(Display* display, Window window) {
    const std::string pid = property(display, window, "_NET_WM_PID", XA_CARDINAL, 1);
    if (pid.size() != sizeof(long)) return std::nullopt;
    return static_cast<pid_t>(*reinterpret_cast<const long*>(pid.data()));
}

// The title as a window manager shows it: _NET_WM_NAME (UTF-8), else WM_NAME.
std::string titleOf(Display* display, Window window) {
    const std::string title =
        property(display, window, "_NET_WM_NAME", XInternAtom(display, "UTF8_STRING", False), 1024);
    return title.empty() ? property(display, window, "WM_NAME", AnyPropertyType, 1024) : title;
}

// The windows below this one that belong to a process (toolkits set _NET_WM_PID on their clients).
void collectClients(Display* display, Window window, std::vector<Window>& clients, int depth = 0) {
    if (depth > 4) return;
    if (processOf(display, window)) clients.push_back(window);
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return;
    for (unsigned i = 0; i < count; ++i)
        collectClients(display, children[i], clients, depth + 1);
    if (children) XFree(children);
}

} // namespace

unsigned long Screen::window(const std::string& title, pid_t pid) {
    std::vector<Window> clients;
    collectClients(display_, DefaultRootWindow(display_), clients);
    for (Window window : clients)
        if ((pid == 0 || processOf(display_, window) == pid) && titleOf(display_, window).starts_with(title))
            return window;
    return 0;
}

std::optional<pid_t> Screen::windowProcess(unsigned long window) {
    return processOf(display_, window);
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
        collectClients(display_, children[i], clients);
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

namespace {

// A request to the window manager (EWMH), as a pager sends it: the window manager does as it is told.
void askWindowManager(Display* display, unsigned long window, const char* request, long first, long second) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, request, False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = first;
    event.xclient.data.l[1] = second;
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XSync(display, False);
}

constexpr long kFromPager = 2;

} // namespace

void Screen::activate(unsigned long window) {
    askWindowManager(display_, window, "_NET_ACTIVE_WINDOW", kFromPager, CurrentTime);
}

void Screen::close(unsigned long window) {
    askWindowManager(display_, window, "_NET_CLOSE_WINDOW", CurrentTime, kFromPager);
}

std::string Screen::clipboardText() {
    // Nothing on the output (and a word on the errors) when the clipboard holds nothing.
    return runToEnd({"xclip", "-o", "-selection", "clipboard"}, {}, folder_.path()).out;
}

void Screen::setClipboardText(const std::string& text) {
    writeBytes(folder_ / "clipboard", text);
    // -quiet keeps xclip in the foreground, so the process the test records is the owner.
    clipboardOwner_ = std::make_unique<Process>(
        std::vector<std::string>{"xclip", "-quiet", "-selection", "clipboard", "-i", folder_ / "clipboard"},
        std::map<std::string, std::string>{}, folder_ / "xclip.log");
    waitFor([&] { return clipboardText() == text; });
}

void Screen::screenshot(const fs::path& file) {
    runToEnd({"import", "-window", "root", file.string()}, {}, folder_.path());
}

// --- AT-SPI ------------------------------------------------------------------------------------------------

namespace {

// An interface of an object (or what libatspi handed over, with g_free), released when it goes.
template <typename Object, auto release = g_object_unref>
using Held = std::unique_ptr<Object, decltype([](Object* held) { release(held); })>;

std::string taken(gchar* text) {
    const Held<gchar, g_free> held(text);
    return text ? text : "";
}

std::optional<Box> taken(AtspiRect* rect) {
    const Held<AtspiRect, g_free> held(rect);
    return rect ? std::optional(Box{rect->x, rect->y, rect->width, rect->height}) : std::nullopt;
}

std::string trimmed(std::string name) {
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name;
}

void collect(AtspiAccessible* object, AtspiRole role, const std::optional<std::string>& name, int depth,
             std::vector<Accessible>& found, bool firstOnly) {
    if (!object || depth < 0 || (firstOnly && !found.empty())) return;
    const int count = atspi_accessible_get_child_count(object, nullptr);
    for (int i = 0; i < count && i < 2000 && !(firstOnly && !found.empty()); ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(object, i, nullptr);
        if (!child) continue;
        if (atspi_accessible_get_role(child, nullptr) == role &&
            (!name || trimmed(taken(atspi_accessible_get_name(child, nullptr))) == *name))
            found.emplace_back(static_cast<AtspiAccessible*>(g_object_ref(child)));
        collect(child, role, name, depth - 1, found, firstOnly);
        g_object_unref(child);
    }
}

} // namespace

Accessible Accessible::application(pid_t pid, std::chrono::milliseconds deadline) {
    static const bool initialized = [] {
        atspi_set_timeout(1000, 1000);
        return atspi_init() >= 0;
    }();
    Accessible found;
    if (!initialized) return found;
    waitFor(
        [&] {
            for (const Accessible& app : Accessible(atspi_get_desktop(0)).findAll(ATSPI_ROLE_APPLICATION, 0))
                if (static_cast<pid_t>(atspi_accessible_get_process_id(app.object_, nullptr)) == pid &&
                    atspi_accessible_get_child_count(app.object_, nullptr) > 0)
                    found = app;
            return bool(found);
        },
        deadline);
    return found;
}

Accessible Accessible::find(AtspiRole role, const std::optional<std::string>& name, int depth) const {
    std::vector<Accessible> found;
    collect(object_, role, name, depth, found, true);
    return found.empty() ? Accessible() : found.front();
}

std::vector<Accessible> Accessible::findAll(AtspiRole role, int depth,
                                            const std::optional<std::string>& name) const {
    std::vector<Accessible> found;
    collect(object_, role, name, depth, found, false);
    return found;
}

std::string Accessible::name() const {
    return object_ ? taken(atspi_accessible_get_name(object_, nullptr)) : "";
}

std::optional<Box> Accessible::extents() const {
    Held<AtspiComponent> component(object_ ? atspi_accessible_get_component_iface(object_) : nullptr);
    if (!component) return std::nullopt;
    return taken(atspi_component_get_extents(component.get(), ATSPI_COORD_TYPE_SCREEN, nullptr));
}

bool Accessible::hasState(AtspiStateType state) const {
    Held<AtspiStateSet> states(object_ ? atspi_accessible_get_state_set(object_) : nullptr);
    return states && atspi_state_set_contains(states.get(), state);
}

std::string Accessible::text() const {
    Held<AtspiText> text(object_ ? atspi_accessible_get_text_iface(object_) : nullptr);
    return text ? taken(atspi_text_get_text(text.get(), 0, -1, nullptr)) : "";
}

std::string Accessible::selectedText() const {
    Held<AtspiText> text(object_ ? atspi_accessible_get_text_iface(object_) : nullptr);
    if (!text || atspi_text_get_n_selections(text.get(), nullptr) < 1) return {};
    const Held<AtspiRange, g_free> range(atspi_text_get_selection(text.get(), 0, nullptr));
    return range ? taken(atspi_text_get_text(text.get(), range->start_offset, range->end_offset, nullptr))
                 : "";
}

std::optional<Box> Accessible::characterExtents(int offset) const {
    Held<AtspiText> text(object_ ? atspi_accessible_get_text_iface(object_) : nullptr);
    if (!text) return std::nullopt;
    return taken(atspi_text_get_character_extents(text.get(), offset, ATSPI_COORD_TYPE_SCREEN, nullptr));
}

bool Accessible::doAction() const {
    Held<AtspiAction> action(object_ ? atspi_accessible_get_action_iface(object_) : nullptr);
    return action && atspi_action_do_action(action.get(), 0, nullptr);
}

bool Accessible::setValue(double value) const {
    Held<AtspiValue> iface(object_ ? atspi_accessible_get_value_iface(object_) : nullptr);
    return iface && atspi_value_set_current_value(iface.get(), value, nullptr);
}

bool Accessible::setText(const std::string& text) const {
    Held<AtspiEditableText> iface(object_ ? atspi_accessible_get_editable_text_iface(object_) : nullptr);
    return iface && atspi_editable_text_set_text_contents(iface.get(), text.c_str(), nullptr);
}

// --- Quoddle and the applications --------------------------------------------------------------------------

PlistDictionary historyOf(const std::vector<std::string>& applicationKeys,
                          const std::vector<std::string>& titles, int count) {
    PlistDictionary items, history;
    for (const std::string& title : titles)
        items[title] =
            PlistDictionary{{"Title", title}, {"Count", count}, {"Date", std::chrono::system_clock::now()}};
    for (const std::string& key : applicationKeys)
        history[key] = items;
    return {{"MenuItemHistoryDic", history}};
}

Quoddle::Quoddle(const PlistDictionary& preferences, const QuoddleOptions& options) : options_(options) {
    fs::create_directories(configHome() / "quoddle");
    if (!options.asInstalled || !preferences.empty()) {
        FileDefaultsStore store(preferencesFile());
        // A test looks at the palette, not at the settings window.
        if (!options.asInstalled) store.set("ShowSettingsOnLaunch", false);
        for (const auto& [key, value] : preferences)
            store.set(key, value);
        store.synchronize();
    }
    const fs::path services = folder_ / "data" / "quoddle" / "services";
    fs::create_directories(services);
    for (const auto& [name, text] : options.serviceFiles)
        writeBytes(services / name, text);
    start();
}

std::map<std::string, std::string> Quoddle::environment() const {
    std::map<std::string, std::string> variables = options_.environment;
    variables["XDG_CONFIG_HOME"] = configHome();
    variables["XDG_DATA_HOME"] = folder_ / "data";
    // No services installed on the machine: only the source tree's, beside the build folder.
    variables.try_emplace("XDG_DATA_DIRS", folder_ / "no-system-data");
    return variables;
}

bool Quoddle::start() {
    process_.reset();
    logFile_ = folder_ / ("quoddle-" + std::to_string(++starts_) + ".log");
    std::vector<std::string> arguments{(buildDirectory() / "quoddle").string()};
    if (options_.verbose) arguments.push_back("--verbose");
    process_ = std::make_unique<Process>(arguments, environment(), logFile_);
    waitFor([this] { return ready() || !process_->running(); }, 10s);
    return ready() && process_->running();
}

Finished Quoddle::run(const std::vector<std::string>& arguments, const fs::path& input) {
    std::vector<std::string> command{(buildDirectory() / "quoddle").string()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runToEnd(command, environment(), folder_.path(), input);
}

int Quoddle::storedUses(const std::string& applicationKey, const std::string& title) {
    // Lines of "key<TAB>count<TAB>title<TAB>shortcut".
    std::istringstream lines(historyText());
    for (std::string line, key, count, name; std::getline(lines, line);)
        if (std::istringstream cells(line);
            std::getline(std::getline(std::getline(cells, key, '\t'), count, '\t'), name, '\t') &&
            key == applicationKey && name == title)
            return std::stoi(count);
    return 0;
}

std::vector<std::pair<std::string, Box>> Quoddle::paletteButtons() {
    auto read = [this] {
        std::vector<std::pair<std::string, Box>> buttons;
        const Accessible window =
            Accessible::application(pid(), 2s).find(ATSPI_ROLE_FILLER, "Quoddle palette", 0);
        // The palette's buttons are made anew at every showing: what libatspi remembers of them is stale.
        window.forgetCachedTree();
        for (const Accessible& button : window.findAll(ATSPI_ROLE_PUSH_BUTTON, 4))
            if (std::optional<Box> box = button.extents(); box && button.showing())
                buttons.emplace_back(button.name(), *box);
        return buttons;
    };
    // Qt tells AT-SPI about new buttons a moment after they appear: read until two readings a little
    // apart agree.
    const auto label = [](const auto& button) { return button.first; };
    std::vector<std::pair<std::string, Box>> previous, current = read();
    for (int reading = 0;
         reading < 20 && (current.empty() || !std::ranges::equal(previous, current, {}, label, label));
         ++reading) {
        std::this_thread::sleep_for(100ms);
        previous = std::exchange(current, read());
    }
    return current;
}

Application::Application(const std::vector<std::string>& arguments, const std::string& windowTitle,
                         const Launch& launch) {
    process_ = std::make_unique<Process>(arguments, std::map<std::string, std::string>{}, folder_ / "output");
    Screen screen;
    const pid_t owner = launch.windowOfAnyProcess ? 0 : process_->pid();
    waitFor(
        [&] {
            window_ = screen.window(windowTitle, owner);
            return window_ && screen.mappedFrame(window_);
        },
        launch.deadline);
    if (window_ && launch.windowOfAnyProcess) windowPid_ = screen.windowProcess(window_).value_or(0);
    if (launch.accessible) Accessible::application(pid(), launch.deadline);
}

Application::~Application() {
    process_->terminate(3s);
    // The process it handed over to is not the started one's child: it is stopped by its pid.
    if (windowPid_ > 0 && windowPid_ != process_->pid() && kill(windowPid_, SIGTERM) == 0)
        if (!waitFor([&] { return kill(windowPid_, 0) != 0; }, 5s)) kill(windowPid_, SIGKILL);
}

Accessible Application::textView() const {
    Accessible view;
    for (const Accessible& text : accessible().findAll(ATSPI_ROLE_TEXT, 16))
        if (auto box = text.extents(); box && (!view || box->height > view.extents()->height)) view = text;
    return view;
}

std::unique_ptr<Application> startSample(const std::string& program, const std::string& text) {
    return std::make_unique<Application>(
        std::vector<std::string>{(buildDirectory() / program).string(), "--view-text", text},
        program == kGtkSample ? "Quoddle GTK Sample" : "Quoddle Qt Sample");
}

std::pair<int, int> dragAlongFirstLine(Screen& screen, const Accessible& view, int width) {
    const Box box = view.extents().value_or(Box{});
    const int y = box.y + 10, to = box.x + 3 + (width ? width : box.width - 7);
    screen.drag(box.x + 3, y, to, y);
    return {to, y};
}

} // namespace quoddle::desktop
