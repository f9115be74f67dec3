// End-to-end on headless Wayland desktops: sway (scripts/wayland-session) and GNOME Shell with Quoddle's
// extension (scripts/gnome-session) run these. A person's drag in a Wayland window, made with the
// compositor's own virtual pointer and keyboard, opens the palette beside where the drag ended, as the
// screen's pixels show, in mousepad (GTK 3) and the Qt 6 sample; Copy puts the selection where the Wayland
// application pastes from, a service replaces it in place and Cut takes it away. Quoddle starts as a new
// user's does, settings window and all. The X11 route's cases are the desktop tier's.
#include "DesktopHarness.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

namespace quoddle::desktop {
namespace {

constexpr int kScreenWidth = 1280, kScreenHeight = 800;
const std::string kWords = "alpha beta gamma delta epsilon zeta eta theta";

// GNOME Shell's session, else sway's.
bool onGnome() {
    return !std::getenv("SWAYSOCK");
}

// quoddle-wayland-input on sway, quoddle-gnome-input on GNOME, told one command at a time and waited for.
class VirtualInput {
public:
    VirtualInput() {
        int toChild[2], fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
            const std::string program =
                (buildDirectory() / (onGnome() ? "quoddle-gnome-input" : "quoddle-wayland-input")).string();
            const std::string width = std::to_string(kScreenWidth), height = std::to_string(kScreenHeight);
            execl(program.c_str(), program.c_str(), width.c_str(), height.c_str(), nullptr);
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        in_ = toChild[1];
        out_ = fromChild[0];
        ready_ = reply() == "ready";
    }
    ~VirtualInput() {
        if (in_ >= 0) close(in_);
        if (out_ >= 0) close(out_);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool ready() const { return ready_; }

    bool send(const std::string& command) {
        const std::string line = command + "\n";
        if (write(in_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return false;
        const std::string answer = reply();
        EXPECT_EQ(answer, "ok") << command;
        return answer == "ok";
    }
    void moveTo(int x, int y) { send("move " + std::to_string(x) + " " + std::to_string(y)); }
    // As a hand comes to a place, in a few motions: a toolkit may take the first motion into its window
    // for the entry alone (XWayland then loses a press that comes with it).
    void approach(int x, int y) {
        for (int dx : {-6, -3, 0})
            moveTo(x + dx, y);
    }
    void click(int x, int y) {
        approach(x, y);
        send("press");
        send("release");
    }
    // In small steps, as a hand drags.
    void drag(int fromX, int toX, int y) {
        approach(fromX, y);
        send("press");
        for (int x = fromX; x < toX; x += 8)
            moveTo(x, y);
        moveTo(toX, y);
        send("release");
    }

private:
    // One line, or nothing once the program has been silent for a while.
    std::string reply() {
        std::string line;
        char c;
        pollfd readable{out_, POLLIN, 0};
        while (poll(&readable, 1, 5000) > 0 && read(out_, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
    bool ready_ = false;
};

// Where the compositor shows the corner the application's accessibility extents count from: the content of
// the window with this app_id, as swaymsg tells, or the process's window's buffer, as Quoddle's extension
// tells GNOME's.
std::optional<std::pair<int, int>> windowOrigin(const std::string& appId, pid_t pid,
                                                const TempFolder& folder) {
    if (onGnome()) {
        const Finished reply = runToEnd({"gdbus", "call", "--session", "--dest", "org.quoddle.ShellHelper",
                                         "--object-path", "/org/quoddle/ShellHelper", "--method",
                                         "org.quoddle.ShellHelper.WindowOrigin", std::to_string(pid)},
                                        {}, folder.path());
        int x = 0, y = 0;
        if (std::sscanf(reply.out.c_str(), "(true, %d, %d)", &x, &y) != 2) return std::nullopt;
        return std::pair{x, y};
    }
    const Finished tree = runToEnd({"swaymsg", "-t", "get_tree"}, {}, folder.path());
    std::function<std::optional<std::pair<int, int>>(const QJsonObject&)> search =
        [&](const QJsonObject& node) -> std::optional<std::pair<int, int>> {
        if (node.value("app_id").toString().toStdString() == appId) {
            const QJsonObject rect = node.value("rect").toObject(),
                              content = node.value("window_rect").toObject();
            return std::pair{rect.value("x").toInt() + content.value("x").toInt(),
                             rect.value("y").toInt() + content.value("y").toInt()};
        }
        for (const char* children : {"nodes", "floating_nodes"})
            for (const QJsonValue child : node.value(children).toArray())
                if (auto found = search(child.toObject())) return found;
        return std::nullopt;
    };
    return search(QJsonDocument::fromJson(QByteArray::fromStdString(tree.out)).object());
}

// The whole screen as the compositor shows it: grim on sway, GNOME Shell's own screenshot on GNOME.
QImage screenshot(const std::string& name, VirtualInput& input) {
    const std::filesystem::path file = buildDirectory() / "wayland-screenshots" / (name + ".png");
    std::filesystem::create_directories(file.parent_path());
    std::filesystem::remove(file);
    const bool taken = onGnome() ? input.send("shot " + file.string())
                                 : std::system(("grim '" + file.string() + "'").c_str()) == 0;
    if (!taken) return {};
    return QImage(QString::fromStdString(file.string()));
}

// The share of the box's pixels that differ between the two pictures.
double changedShare(const QImage& before, const QImage& after, const Box& box) {
    int changed = 0, all = 0;
    for (int y = box.y; y < box.y + box.height; ++y)
        for (int x = box.x; x < box.x + box.width; ++x, ++all)
            if (before.valid(x, y) && after.valid(x, y) && before.pixel(x, y) != after.pixel(x, y)) ++changed;
    return all ? double(changed) / all : 0;
}

// The default shortcut buttons and one for a desktop service that replaces the selection.
const PlistDictionary kPreferences{
    {"ShowSettingsOnLaunch", false},
    {"ShortcutButtonSetting",
     std::string("Copy\tchar\tc\tcontrol\nCut\tchar\tx\tcontrol\nPaste\tchar\tv\tcontrol\n"
                 "All\tchar\ta\tcontrol\tDontHideWindow\nUndo\tchar\tz\tcontrol\n"
                 "Upper\tservice\tMake Upper Case\n")}};

// A Wayland application with the words in its text widget, as sway's app_id names its window.
struct WaylandApplication {
    std::string name;
    std::function<std::vector<std::string>(const std::filesystem::path& words)> command;
    std::map<std::string, std::string> environment;
    std::string appId;
};

void PrintTo(const WaylandApplication& application, std::ostream* out) {
    *out << application.name;
}

const WaylandApplication kApplications[] = {
    {"mousepad",
     [](const std::filesystem::path& words) {
         return std::vector<std::string>{"mousepad", words};
     },
     {{"GDK_BACKEND", "wayland"}},
     "mousepad"},
    {"QtSample",
     [](const std::filesystem::path&) {
         return std::vector<std::string>{(buildDirectory() / "quoddle-qt-sample").string(), "--view-text",
                                         kWords};
     },
     // Qt draws its own title bar where the compositor draws none (GNOME), inside the window's surface,
     // and counts its extents from below it: without it, the test finds the words from the window's corner.
     {{"QT_QPA_PLATFORM", "wayland"}, {"QT_WAYLAND_DISABLE_WINDOWDECORATION", "1"}},
     "quoddle-qt-sample"},
};

// The application on Wayland with the words, and a person's pointer and keyboard.
class WaylandPaletteTest : public testing::TestWithParam<WaylandApplication> {
protected:
    void SetUp() override {
        if (!std::getenv("WAYLAND_DISPLAY") ||
            (onGnome() && std::string(std::getenv("XDG_CURRENT_DESKTOP") ?: "") != "GNOME"))
            GTEST_SKIP() << "needs a Wayland session: scripts/wayland-session (or scripts/gnome-session) "
                         << buildDirectory().string() << "/quoddle_wayland_tests";
        writeBytes(folder.path() / "words.txt", kWords + "\n");
        std::map<std::string, std::string> environment = GetParam().environment;
        environment["HOME"] = folder.path().string();
        application = std::make_unique<Process>(GetParam().command(folder.path() / "words.txt"), environment,
                                                folder.path() / "application.log");
        ASSERT_TRUE(waitFor(
            [&] {
                Accessible registered = Accessible::application(application->pid(), 100ms);
                view = registered ? registered.find(ATSPI_ROLE_TEXT, std::nullopt, 16) : Accessible();
                return view && view.text().starts_with(kWords);
            },
            10s))
            << GetParam().name << " did not show the words on Wayland";
        ASSERT_TRUE(screen.available()) << "no XWayland display";
    }

    // A click in the window gives it the keyboard focus, as a person's first click does.
    void focusMousepad() {
        ASSERT_TRUE(input.ready()) << "the virtual pointer and keyboard could not be made";
        const std::optional<std::pair<int, int>> origin =
            windowOrigin(GetParam().appId, application->pid(), folder);
        ASSERT_TRUE(origin) << "the compositor does not show the window of " << GetParam().appId;
        std::tie(windowX, windowY) = *origin;
        // mutter 43 now and then passes over the first click in a Wayland window after an X window closed
        // (a second one focuses it): a person clicks again when the window does not light up.
        const bool focused = waitFor([&] {
            input.click(windowX + 300, windowY + 300);
            return waitFor([&] { return view.hasState(ATSPI_STATE_FOCUSED); }, 1s);
        });
        if (!focused) screenshot(GetParam().name + "-not-focused", input);
        ASSERT_TRUE(focused) << GetParam().name << " never took the focus";
    }

    // Drags over the words from the first character to the last (offsets), as far as the selection; the
    // screen point at the bottom right of the last character.
    std::optional<std::pair<int, int>> dragOver(int from, int to, const std::string& words) {
        const std::optional<Box> first = view.characterExtents(from), last = view.characterExtents(to);
        if (!first || !last || last->width <= 0) return std::nullopt;
        const int endX = windowX + last->x + last->width;
        input.drag(windowX + first->x + 1, endX - 1, windowY + first->centerY());
        EXPECT_TRUE(waitFor([&] { return view.selectedText() == words; }))
            << "selected: '" << view.selectedText() << "'";
        return std::pair{endX, windowY + last->y + last->height};
    }

    bool clickButton(Quoddle& quoddle, const std::string& label) {
        for (const auto& [name, box] : quoddle.paletteButtons())
            if (name == label) {
                input.approach(box.centerX(), box.centerY());
                input.send("press");
                input.send("release");
                return waitFor([&] { return !quoddle.palette(screen); }, 3s);
            }
        ADD_FAILURE() << "the palette has no " << label << " button";
        return false;
    }

    TempFolder folder;
    std::unique_ptr<Process> application;
    Accessible view;
    Screen screen; // XWayland's display: Quoddle's windows are X windows there
    VirtualInput input;
    int windowX = 0, windowY = 0;
};

TEST_P(WaylandPaletteTest, ADragInAWaylandWindowOpensThePaletteBesideTheSelectionAndCopyCopies) {
    // The first start, as a new user has it: the settings window opens.
    Quoddle quoddle({}, {.asInstalled = true, .verbose = true});
    ASSERT_TRUE(quoddle.ready()) << quoddle.log();
    unsigned long settings = 0;
    ASSERT_TRUE(waitFor([&] {
        settings = screen.window("Quoddle Settings", quoddle.pid());
        return settings && screen.mappedFrame(settings);
    })) << "no settings window at the first start";
    // Closed as a person closes it. While that X window covers the screen behind the palette, sway 1.7 hands
    // the palette's clicks to it (XWayland picks among X windows by their stacking, which sway changes at a
    // press), so it must be out of the way first; on GNOME it covers the application.
    ASSERT_TRUE(waitFor([&] {
        if (onGnome())
            screen.close(settings);
        else
            runToEnd({"swaymsg", "[title=\"^Quoddle Settings\"]", "kill"}, {}, folder.path());
        return waitFor([&] { return !screen.mappedFrame(settings); }, 500ms);
    })) << "the settings window did not close";
    focusMousepad();

    const QImage before = screenshot(GetParam().name + "-before-drag", input);
    ASSERT_FALSE(before.isNull()) << "no screenshot";
    const std::optional<std::pair<int, int>> end = dragOver(6, 15, "beta gamma");
    ASSERT_TRUE(end);
    std::optional<Box> palette;
    ASSERT_TRUE(waitFor([&] { return (palette = quoddle.palette(screen)).has_value(); }, 3s))
        << "no palette after the drag:\n"
        << quoddle.log();
    // The palette on the screen, not only in the X server's word: its pixels changed (once it is drawn),
    // beside the selection's end, and the selection itself is drawn where the drag went.
    QImage after;
    EXPECT_TRUE(waitFor([&] {
        after = screenshot(GetParam().name + "-palette-after-drag", input);
        return changedShare(before, after, *palette) > 0.5;
    })) << "the palette's pixels are not on the screen";
    EXPECT_LT(std::abs(palette->x - end->first), 60)
        << palette->x << " vs the selection's end at " << end->first;
    EXPECT_LT(std::abs(palette->y - end->second), 60)
        << palette->y << " vs the selection's end at " << end->second;
    const std::optional<Box> first = view.characterExtents(6);
    EXPECT_GT(changedShare(before, after, Box{windowX + first->x, windowY + first->y, 20, first->height}),
              0.3)
        << "the selection is not drawn where the test dragged";

    // Copy, clicked with the pointer, then a paste in the application at the end of the line.
    ASSERT_TRUE(clickButton(quoddle, "Copy")) << "the palette stayed after Copy";
    input.send("key End");
    input.send("key ctrl+v");
    const bool pasted = waitFor([&] { return view.text().starts_with(kWords + "beta gamma"); });
    screenshot(GetParam().name + "-after-copy-and-paste", input);
    EXPECT_TRUE(pasted) << "after Copy and a paste the text is: " << testing::PrintToString(view.text())
                        << "\n"
                        << quoddle.log();
}

// mousepad has no Services menu of its own, so Upper runs the desktop service, whose replacement goes in
// through accessibility; the Qt sample's Edit > Services has a Make Upper Case of its own, which the button
// presses through accessibility.
TEST_P(WaylandPaletteTest, AServiceReplacesTheSelectionInPlaceAndCutTakesItAway) {
    Quoddle quoddle(kPreferences, {.verbose = true});
    ASSERT_TRUE(quoddle.ready()) << quoddle.log();
    focusMousepad();
    ASSERT_TRUE(dragOver(6, 15, "beta gamma"));
    ASSERT_TRUE(waitFor([&] { return quoddle.palette(screen).has_value(); }, 3s)) << quoddle.log();
    ASSERT_TRUE(clickButton(quoddle, "Upper"));
    EXPECT_TRUE(waitFor([&] { return view.text().starts_with("alpha BETA GAMMA delta"); }))
        << "after Upper the text is: " << view.text() << "\n"
        << quoddle.log();

    // A click away first, as a hand does: the Qt sample's own Make Upper Case leaves the words selected,
    // and a press on selected text drags it.
    input.click(windowX + 300, windowY + 300);
    ASSERT_TRUE(dragOver(6, 15, "BETA GAMMA"));
    ASSERT_TRUE(waitFor([&] { return quoddle.palette(screen).has_value(); }, 3s)) << quoddle.log();
    ASSERT_TRUE(clickButton(quoddle, "Cut"));
    EXPECT_TRUE(waitFor([&] { return view.text().starts_with("alpha  delta"); }))
        << "after Cut the text is: " << view.text() << "\n"
        << quoddle.log();
    // The cut words are where the application pastes from.
    input.send("key End");
    input.send("key ctrl+v");
    EXPECT_TRUE(waitFor([&] {
        return view.text().starts_with("alpha  delta epsilon zeta eta thetaBETA GAMMA");
    })) << "after Cut and a paste the text is: "
        << view.text() << "\n"
        << quoddle.log();
}

// Where the compositor tells the left button (GNOME Shell with Quoddle's extension), a selection made with
// the keys opens no palette, and a Services item clicked in the application's own menus is learned. sway
// tells no buttons.
class WaylandButtonsTest : public WaylandPaletteTest {
protected:
    void SetUp() override {
        if (!onGnome()) GTEST_SKIP() << "sway tells no one the mouse buttons";
        WaylandPaletteTest::SetUp();
    }

    // A menu or item of the application on screen by name, with its screen box: Qt counts its popups'
    // extents from its window's corner too.
    std::optional<Box> shownMenuItem(const std::string& name) {
        const Accessible app = Accessible::application(application->pid(), 100ms);
        for (AtspiRole role : {ATSPI_ROLE_MENU, ATSPI_ROLE_MENU_ITEM})
            for (const Accessible& item : app.findAll(role, 16, name))
                if (auto box = item.extents(); box && item.showing() && box->width > 1)
                    return Box{windowX + box->x, windowY + box->y, box->width, box->height};
        return std::nullopt;
    }
    bool highlighted(const std::string& name) {
        const Accessible app = Accessible::application(application->pid(), 100ms);
        for (const Accessible& item : app.findAll(ATSPI_ROLE_MENU_ITEM, 16, name))
            if (item.showing() && (item.hasState(ATSPI_STATE_SELECTED) || item.hasState(ATSPI_STATE_FOCUSED)))
                return true;
        return false;
    }
};

TEST_P(WaylandButtonsTest, ASelectionMadeWithTheKeysOpensNoPaletteADragDoes) {
    Quoddle quoddle(kPreferences, {.verbose = true});
    ASSERT_TRUE(quoddle.ready()) << quoddle.log();
    // GNOME gives a new window the keyboard, and Tab takes it to the text: no click first, whose own
    // selection change (the caret's) would make it a drag that the keys' selection, made faster than a hand
    // makes it, then seemed to end.
    ASSERT_TRUE(input.ready());
    const std::optional<std::pair<int, int>> origin =
        windowOrigin(GetParam().appId, application->pid(), folder);
    ASSERT_TRUE(origin);
    std::tie(windowX, windowY) = *origin;
    ASSERT_TRUE(waitFor([&] {
        if (view.hasState(ATSPI_STATE_FOCUSED)) return true;
        input.send("key Tab");
        return waitFor([&] { return view.hasState(ATSPI_STATE_FOCUSED); }, 300ms);
    })) << "the text never took the focus";
    input.send("key Home");
    input.send("key shift+End");
    ASSERT_TRUE(waitFor([&] { return view.selectedText().starts_with("alpha beta"); }))
        << "selected: '" << view.selectedText() << "'";
    EXPECT_FALSE(waitFor([&] { return quoddle.palette(screen).has_value(); }, 1500ms))
        << "a palette for a selection made with the keys";
    // The positive control: a drag right after it does open the palette.
    input.click(windowX + 300, windowY + 300);
    ASSERT_TRUE(dragOver(6, 15, "beta gamma"));
    EXPECT_TRUE(waitFor([&] { return quoddle.palette(screen).has_value(); }, 3s)) << quoddle.log();
}

TEST_P(WaylandButtonsTest, AServicesItemClickedInTheApplicationsMenuIsLearned) {
    Quoddle quoddle(kPreferences, {.verbose = true});
    ASSERT_TRUE(quoddle.ready()) << quoddle.log();
    focusMousepad();
    // Showing the palette once reads the application's Services titles.
    ASSERT_TRUE(dragOver(6, 15, "beta gamma"));
    ASSERT_TRUE(waitFor([&] { return quoddle.palette(screen).has_value(); }, 3s)) << quoddle.log();

    // Edit, down to Services, along into its submenu and onto Make Upper Case, as a hand goes.
    std::optional<Box> edit, services, upper;
    ASSERT_TRUE(waitFor([&] { return bool(edit = shownMenuItem("Edit")); }));
    input.approach(edit->centerX(), edit->centerY());
    input.send("press");
    input.send("release");
    ASSERT_TRUE(waitFor([&] { return bool(services = shownMenuItem("Services")); })) << "Edit did not open";
    input.approach(services->centerX(), services->centerY());
    ASSERT_TRUE(waitFor([&] { return bool(upper = shownMenuItem("Make Upper Case")); }))
        << "Services did not open";
    input.moveTo(upper->x + 8, services->centerY());
    input.approach(upper->centerX(), upper->centerY());
    ASSERT_TRUE(waitFor([&] { return highlighted("Make Upper Case"); }))
        << "the item under the pointer is never highlighted";
    input.send("press");
    input.send("release");
    EXPECT_TRUE(waitFor([&] { return view.text().starts_with("alpha BETA GAMMA delta"); }))
        << "the item did not run: " << view.text();
    EXPECT_TRUE(waitFor([&] { return quoddle.storedUses(kQtSample, "Make Upper Case") == 1; }))
        << quoddle.historyText() << quoddle.log();
}

// GNOME Shell's extension off, as a new user may find it: Quoddle says so in its log and its settings
// window, whose button turns it on.
TEST(GnomeShellExtension, IsSaidToBeOffAndTheSettingsWindowTurnsItOn) {
    if (!std::getenv("WAYLAND_DISPLAY") || !onGnome()) GTEST_SKIP() << "needs scripts/gnome-session";
    TempFolder folder;
    const auto helperAnswers = [&] {
        return runToEnd({"gdbus", "call", "--session", "--dest", "org.quoddle.ShellHelper", "--object-path",
                         "/org/quoddle/ShellHelper", "--method", "org.quoddle.ShellHelper.Pointer"},
                        {}, folder.path())
                   .status == 0;
    };
    // On again for the tests after this one, however this one ends.
    struct TurnedBackOn {
        std::function<void()> turnOn;
        ~TurnedBackOn() { turnOn(); }
    } turnedBackOn{[&] {
        runToEnd({"gsettings", "set", "org.gnome.shell", "enabled-extensions", "['quoddle@quoddle.org']"}, {},
                 folder.path());
        waitFor(helperAnswers);
    }};
    // Installed but never turned on, as after installing the package.
    ASSERT_EQ(runToEnd({"gsettings", "set", "org.gnome.shell", "enabled-extensions", "[]"}, {}, folder.path())
                  .status,
              0);
    ASSERT_TRUE(waitFor([&] { return !helperAnswers(); })) << "the extension stays on";

    Quoddle quoddle({}, {.asInstalled = true, .verbose = true});
    ASSERT_TRUE(quoddle.ready()) << quoddle.log();
    EXPECT_NE(quoddle.log().find("gnome-extensions enable quoddle@quoddle.org"), std::string::npos)
        << quoddle.log();
    Accessible window;
    const auto helperLine = [&](const std::string& start) {
        window.forgetCachedTree();
        for (const Accessible& label : window.findAll(ATSPI_ROLE_LABEL, 16))
            if (label.name().starts_with(start)) return true;
        return false;
    };
    ASSERT_TRUE(waitFor([&] {
        window = Accessible::application(quoddle.pid(), 2s).find(ATSPI_ROLE_FILLER, "Quoddle Settings", 0);
        return window && window.showing();
    })) << "no settings window at the first start";
    EXPECT_TRUE(waitFor([&] { return helperLine("Quoddle's GNOME Shell extension is off"); }));
    Accessible button;
    ASSERT_TRUE(waitFor([&] {
        window.forgetCachedTree();
        return bool(button = window.find(ATSPI_ROLE_PUSH_BUTTON, "Turn On GNOME Shell Extension", 16));
    }));
    ASSERT_TRUE(button.doAction());
    EXPECT_TRUE(waitFor(helperAnswers)) << "the extension was not turned on: " << [&] {
        std::string lines;
        for (const Accessible& label : window.findAll(ATSPI_ROLE_LABEL, 16))
            lines += label.name() + "\n";
        return lines;
    }();
    EXPECT_TRUE(waitFor([&] { return helperLine("Quoddle's GNOME Shell extension is on"); }, 8s));
}

// The Qt sample alone has a Services menu of its own.
INSTANTIATE_TEST_SUITE_P(OnWayland, WaylandButtonsTest, testing::Values(kApplications[1]),
                         [](const testing::TestParamInfo<WaylandApplication>& info) {
                             return info.param.name;
                         });

INSTANTIATE_TEST_SUITE_P(OnWayland, WaylandPaletteTest, testing::ValuesIn(kApplications),
                         [](const testing::TestParamInfo<WaylandApplication>& info) {
                             return info.param.name;
                         });

} // namespace
} // namespace quoddle::desktop
