// Quoddle on Debian's own applications, as a person meets it there: a drag over words opens the palette
// beside the pointer, its Copy button puts those words on the clipboard, and where the text is editable a
// desktop service button replaces them in place. Editors of three toolkits, Qt Linguist's Find dialog,
// LibreOffice Writer, the pages of two browsers, and two terminals, where a shortcut button must never
// reach the running program as a signal. Each application starts once for its case and shows all its
// places there.
#include "DesktopTest.h"

#include <algorithm>

namespace quoddle::desktop {
namespace {

namespace fs = std::filesystem;

const std::string kWords = "alpha beta gamma delta epsilon";
const std::string kOtherWords = "kappa lambda omicron sigma omega";

// The default shortcut buttons and one for a desktop service that replaces the selection.
const PlistDictionary kPreferences{
    {"ShortcutButtonSetting",
     std::string("Copy\tchar\tc\tcontrol\nCut\tchar\tx\tcontrol\nPaste\tchar\tv\tcontrol\n"
                 "All\tchar\ta\tcontrol\tDontHideWindow\nUndo\tchar\tz\tcontrol\n"
                 "Upper\tservice\tMake Upper Case\n")}};

// How the test finds the words on the screen, as a person finds them by looking.
enum class Locate {
    ElementCorner,   // the element's top-left corner (editors, Firefox's page and textarea)
    Characters,      // the element's character extents (Writer, VTE)
    WindowRelative,  // GTK 4 answers in window coordinates: the X window's place is added
    WindowMiddle,    // no accessibility to ask: the page puts lines of the words across its window's middle
    FirstTerminalRow // xterm: the first row of its character grid
};

struct Place {
    std::string name;
    AtspiRole role; // of the element that holds the words
    std::string words;
    Locate locate;
    bool editable;
    int dragWidth = 120; // pixels, over the first two words and a little more
    // An element to click first: Writer's extents are right only once its document was clicked.
    std::optional<AtspiRole> clickFirst = std::nullopt;
};

struct Target {
    std::string name = {};
    std::vector<std::string> command = {}; // "{dir}" stands for the test's folder, here and in the title
    std::map<std::string, std::string> files = {}; // written into the folder first
    std::string title = {};                        // how its window's title starts
    std::vector<Place> places = {};
    Launch launch = {};
    bool terminal = false; // runs the words program, which logs the signals it gets
    bool moveAway = false; // from the top-left corner, before Quoddle starts
    // Typed into its Find dialog (Ctrl+F) first: Linguist's translation editor sits in a cramped dock.
    std::string typedIntoFind = {};
    // A drag from the words let go over the scroll bar, then over the status bar, must select them too.
    bool letGoOverBars = false;
};

std::ostream& operator<<(std::ostream& out, const Target& target) {
    return out << target.name;
}

// Lines of the words, each ending so.
std::string lines(int count, const std::string& end = "\n") {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += kWords + end;
    return text;
}

// A page with a textarea at the top and, below it, a paragraph of the words on many lines, so that a drag
// across the middle of the browser's window is over them wherever its toolbars end.
const std::string kPage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Quoddle Page</title><style>"
    "body{margin:0;font:28px/40px sans-serif} p{margin:30px} textarea{margin:30px 30px 0;"
    "font:inherit;width:80%;height:120px}</style></head><body><textarea>" +
    kOtherWords + "</textarea><p>" + lines(12, "<br>") + "</p></body></html>";

// No data-reporting bar (it moves the page down 51 px some seconds after start), welcome page or
// default-browser question.
const std::string kFirefoxPreferences =
    "user_pref(\"datareporting.policy.dataSubmissionPolicyBypassNotification\", true);\n"
    "user_pref(\"toolkit.telemetry.reportingpolicy.firstRun\", false);\n"
    "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
    "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
    "user_pref(\"browser.aboutwelcome.enabled\", false);\n"
    "user_pref(\"startup.homepage_welcome_url\", \"\");\n";

const std::string kWriterSettings =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<oor:items "
    "xmlns:oor=\"http://openoffice.org/2001/registry\">"
    "<item oor:path=\"/org.openoffice.Office.Common/Misc\"><prop oor:name=\"ShowTipOfTheDay\" "
    "oor:op=\"fuse\">"
    "<value>false</value></prop></item><item oor:path=\"/org.openoffice.Setup/Product\">"
    "<prop oor:name=\"ooSetupLastVersion\" oor:op=\"fuse\"><value>99.0</value></prop></item></oor:items>\n";

const std::string kWriterDocument =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document "
    "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.2\" "
    "office:mimetype=\"application/vnd.oasis.opendocument.text\"><office:body><office:text><text:p>" +
    kWords +
    "</text:p><text:p>zeta eta theta iota kappa</text:p></office:text></office:body></office:document>\n";

const std::string kTranslations =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\" language=\"de\">\n"
    "<context>\n<name>Sample</name>\n<message>\n<source>" +
    kWords + "</source>\n<translation type=\"unfinished\">" + kWords +
    "</translation>\n</message>\n</context>\n</TS>\n";

// Prints the words, then waits, writing each SIGINT or SIGTSTP it gets to the log; "ready" once printed.
const std::string kWordsProgram = "trap 'echo INT >>\"$1\"' INT\ntrap 'echo TSTP >>\"$1\"' TSTP\necho '" +
                                  kWords + "'\n: >\"$1.ready\"\nwhile :; do read -r -t 5 _; done\n";

const std::map<std::string, std::string> kNotes{{"notes.txt", kWords + "\nzeta eta theta iota kappa\n"}};

const std::vector<Target> kTargets{
    // gedit shows line numbers left of the text: the characters say where it starts.
    {.name = "gedit",
     .command = {"gedit", "--standalone", "{dir}/notes.txt"},
     .files = {{"notes.txt", lines(60)}},
     .title = "notes.txt",
     .places = {{"text", ATSPI_ROLE_TEXT, kWords, Locate::Characters, true}},
     .letGoOverBars = true},
    {.name = "GnomeTextEditor",
     .command = {"gnome-text-editor", "--standalone", "{dir}/notes.txt"},
     .files = kNotes,
     .title = "notes.txt",
     .places = {{"text", ATSPI_ROLE_TEXT, kWords, Locate::WindowRelative, true}},
     .moveAway = true},
    {.name = "kwrite",
     .command = {"kwrite", "{dir}/notes.txt"},
     .files = kNotes,
     .title = "notes.txt",
     .places = {{"text", ATSPI_ROLE_TEXT, kWords, Locate::ElementCorner, true}}},
    // Qt 6, and a dialog: a window of its own, over the main window.
    {.name = "linguist",
     .command = {"/usr/lib/qt6/bin/linguist", "{dir}/sample.ts"},
     .files = {{"sample.ts", kTranslations}},
     .title = "{dir}/sample.ts - Qt Linguist",
     .places = {{"find dialog", ATSPI_ROLE_TEXT, kOtherWords, Locate::ElementCorner, false}},
     .typedIntoFind = kOtherWords},
    {.name = "LibreOfficeWriter",
     .command = {"soffice", "--writer", "--norestore", "-env:UserInstallation=file://{dir}/lo",
                 "{dir}/note.fodt"},
     .files = {{"lo/user/registrymodifications.xcu", kWriterSettings}, {"note.fodt", kWriterDocument}},
     .title = "note.fodt",
     .places = {{"paragraph", ATSPI_ROLE_PARAGRAPH, kWords, Locate::Characters, true, 120,
                 ATSPI_ROLE_DOCUMENT_TEXT}},
     .launch = {.windowOfAnyProcess = true, .deadline = 60s}},
    {.name = "FirefoxESR",
     .command = {"firefox-esr", "--no-remote", "--profile", "{dir}/profile", "file://{dir}/page.html"},
     .files = {{"profile/user.js", kFirefoxPreferences}, {"page.html", kPage}},
     .title = "Quoddle Page",
     .places = {{"page", ATSPI_ROLE_PARAGRAPH, kWords, Locate::ElementCorner, false, 220},
                {"textarea", ATSPI_ROLE_ENTRY, kOtherWords, Locate::ElementCorner, true, 260}},
     .launch = {.deadline = 40s}},
    {.name = "Chromium",
     .command = {"chromium", "--no-sandbox", "--disable-gpu", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--user-data-dir={dir}/profile", "--window-position=120,40", "--window-size=1000,800",
                 "file://{dir}/page.html"},
     .files = {{"page.html", kPage}},
     .title = "Quoddle Page",
     .places = {{"page", ATSPI_ROLE_INVALID, kWords, Locate::WindowMiddle, false, 220}},
     .launch = {.deadline = 40s}},
    {.name = "xfce4terminal",
     .command = {"xfce4-terminal", "--disable-server", "--title", "Quoddle Terminal", "--geometry",
                 "80x12+300+200", "-x", "bash", "{dir}/words.sh", "{dir}/signals.log"},
     .files = {{"words.sh", kWordsProgram}},
     .title = "Quoddle Terminal",
     .places = {{"terminal", ATSPI_ROLE_TERMINAL, kWords, Locate::Characters, false}},
     .terminal = true},
    {.name = "xterm",
     .command = {"xterm", "-T", "Quoddle XTerm", "-fa", "Monospace", "-fs", "14", "-geometry", "60x8+300+300",
                 "-e", "bash", "{dir}/words.sh", "{dir}/signals.log"},
     .files = {{"words.sh", kWordsProgram}},
     .title = "Quoddle XTerm",
     .places = {{"terminal", ATSPI_ROLE_INVALID, kWords, Locate::FirstTerminalRow, false}},
     .launch = {.accessible = false},
     .terminal = true},
};

// A drag from one point to another.
struct Segment {
    int fromX, fromY, toX, toY;
};

bool overlap(const Box& a, const Box& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

std::string secondWord(const std::string& words) {
    const size_t start = words.find(' ') + 1;
    return words.substr(start, words.find(' ', start) - start);
}

// What every case does as the person at the desktop: start the application, find the words, drag over
// them, look for the palette.
class Desk : public DesktopTest {
protected:
    void TearDown() override {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');
        if (HasFailure()) screen.screenshot(screenshotDirectory() / ("applications-" + name + "-failed.png"));
    }
    void launch(const Target& target) {
        auto placed = [&](std::string text) {
            for (size_t at; (at = text.find("{dir}")) != std::string::npos;)
                text.replace(at, 5, folder.path().string());
            return text;
        };
        for (const auto& [name, text] : target.files) {
            fs::create_directories((folder / name).parent_path());
            writeBytes(folder / name, text);
        }
        std::vector<std::string> command;
        for (const std::string& part : target.command)
            command.push_back(placed(part));
        app = std::make_unique<Application>(command, placed(target.title), target.launch);
        ASSERT_TRUE(app->window()) << target.name << "'s window never mapped: " << app->output();
    }
    // Drags and waits for the palette beside the pointer; true once it is there.
    bool dragForPalette(const Segment& at) {
        screen.drag(at.fromX, at.fromY, at.toX, at.toY);
        std::optional<Box> palette;
        if (!waitFor([&] { return (palette = quoddle->palette(screen)).has_value(); }, 4s)) {
            ADD_FAILURE() << "no palette after a drag from " << at.fromX << "," << at.fromY << " to "
                          << at.toX << "," << at.toY << "\n"
                          << quoddle->log();
            return false;
        }
        EXPECT_NEAR(palette->y + palette->height / 2.0, at.toY, 1.5) << "centred on the pointer";
        EXPECT_TRUE(palette->x == at.toX + 6 || palette->x + palette->width == at.toX - 6)
            << "palette at x " << palette->x << ", pointer at " << at.toX;
        return true;
    }
    // The element holding the place's words, once the application shows it (GTK 4 says nothing of showing).
    Accessible element(const Place& place) {
        Accessible found;
        waitFor(
            [&] {
                for (const Accessible& candidate : app->accessible().findAll(place.role, 40))
                    if (candidate.text().starts_with(place.words) && candidate.extents() &&
                        candidate.extents()->width > 1 && candidate.extents()->height > 1 &&
                        (candidate.showing() || place.locate == Locate::WindowRelative))
                        return bool(found = candidate);
                return false;
            },
            15s);
        return found;
    }

    // Where a drag over the place's first words goes; none when the test cannot see them.
    std::optional<Segment> locate(const Place& place) {
        const std::optional<Box> window = screen.mappedFrame(app->window());
        if (!window) return std::nullopt;
        if (place.locate == Locate::WindowMiddle)
            return Segment{window->x + 36, window->centerY(), window->x + 36 + place.dragWidth,
                           window->centerY()};
        if (place.locate == Locate::FirstTerminalRow) {
            const int cell = (window->width - 4) / 60, row = (window->height - 4) / 8;
            const int y = window->y + 2 + row / 2;
            return Segment{window->x + 3, y, window->x + 2 + 16 * cell, y};
        }
        if (place.clickFirst) {
            const std::optional<Box> box =
                app->accessible().find(*place.clickFirst, std::nullopt, 40).extents();
            if (!box) return std::nullopt;
            screen.click(box->centerX(), box->centerY());
            // Taken once the caret is in the last paragraph, below the words; until then it gives the words'
            // place as it was before the window manager framed its window.
            if (!waitFor([&] {
                    for (const Accessible& other : app->accessible().findAll(place.role, 40))
                        if (other.hasState(ATSPI_STATE_FOCUSED) && !other.text().starts_with(place.words))
                            return true;
                    return false;
                }))
                return std::nullopt;
        }
        const Accessible text = element(place);
        std::optional<Box> box = text.extents();
        if (!box) return std::nullopt;
        if (place.locate == Locate::Characters) {
            std::optional<Box> first, last;
            if (!waitFor([&] {
                    return (first = text.characterExtents(0)) && first->width > 0 &&
                           (last = text.characterExtents(16)) && last->width > 0;
                }))
                return std::nullopt;
            return Segment{first->x + 1, first->centerY(), last->x, first->centerY()};
        }
        if (place.locate == Locate::WindowRelative) {
            const std::optional<Box> frame =
                app->accessible().find(ATSPI_ROLE_FRAME, std::nullopt, 1).extents();
            if (!frame) return std::nullopt;
            box->x += window->x + (window->width - frame->width) / 2;
            box->y += window->y + (window->height - frame->height) / 2;
        }
        return Segment{box->x + 6, box->y + 10, box->x + 6 + place.dragWidth, box->y + 10};
    }
    // A shown element of the role, as a person sees it.
    std::optional<Box> shown(AtspiRole role) {
        for (const Accessible& candidate : app->accessible().findAll(role, 30))
            if (std::optional<Box> box = candidate.extents(); box && candidate.showing() && box->width > 1)
                return box;
        return std::nullopt;
    }
};

class DebianApplications : public Desk, public ::testing::WithParamInterface<Target> {
protected:
    void SetUp() override {
        Desk::SetUp();
        if (IsSkipped()) return;
        ASSERT_NO_FATAL_FAILURE(launch(GetParam()));
        // Away from the corner, where window and screen coordinates would agree.
        ASSERT_TRUE(!GetParam().moveAway || screen.moveWindow(app->window(), 500, 300));
        // The words program has printed its words.
        ASSERT_TRUE(!GetParam().terminal ||
                    waitFor([&] { return fs::exists(folder / "signals.log.ready"); }, 10s));
        ASSERT_NO_FATAL_FAILURE(startQuoddle(kPreferences, {.verbose = true}));
        if (!GetParam().typedIntoFind.empty()) {
            screen.key("f", {"Control_L"});
            ASSERT_TRUE(waitFor([&] { return app->accessible().find(ATSPI_ROLE_DIALOG).showing(); }));
            for (char c : GetParam().typedIntoFind)
                screen.key(c == ' ' ? "space" : std::string(1, c));
        }
    }
};

TEST_P(DebianApplications, ADragShowsThePaletteCopyCopiesTheWordsAndAServiceReplacesThemInPlace) {
    if (GetParam().letGoOverBars) {
        // A drag that starts in the words and is let go over another part of the same window still selected
        // them; a key then hides the palette and leaves no selection to drag from.
        const Accessible text = element(GetParam().places.front());
        std::optional<Box> first;
        ASSERT_TRUE(waitFor([&] { return (first = text.characterExtents(0)) && first->width > 0; }));
        const std::optional<Box> scrollBar = shown(ATSPI_ROLE_SCROLL_BAR),
                                 statusBar = shown(ATSPI_ROLE_STATUS_BAR);
        ASSERT_TRUE(scrollBar && statusBar);
        for (const Segment& at :
             {Segment{first->x + 1, first->centerY(), scrollBar->centerX(), first->centerY()},
              Segment{first->x + 1, first->centerY(), first->x + 150, statusBar->centerY()}}) {
            EXPECT_TRUE(dragForPalette(at));
            screen.key("Right");
            EXPECT_TRUE(waitFor([&] { return !quoddle->palette(screen) && text.selectedText().empty(); }));
        }
    }
    for (const Place& place : GetParam().places) {
        SCOPED_TRACE(place.name);
        const std::optional<Segment> at = locate(place);
        if (!at) {
            ADD_FAILURE() << "the words are not to be found on the screen";
            continue;
        }
        screen.setClipboardText("nothing copied yet");
        if (!dragForPalette(*at) || !clickButton("Copy")) continue;
        std::string copied;
        EXPECT_TRUE(waitFor([&] {
            copied = screen.clipboardText();
            return copied.find(secondWord(place.words)) != std::string::npos &&
                   place.words.find(copied) != std::string::npos;
        })) << "clipboard: "
            << copied;

        if (place.editable) {
            // The selection goes first (a drag from inside it would move the words): with a key, as a click
            // just before the drag's press would make a double click of the two.
            screen.key("Right");
            EXPECT_TRUE(waitFor([&] { return element(place).selectedText().empty(); }));
            if (!dragForPalette(*at) || !clickButton("Upper")) continue;
            std::string now;
            EXPECT_TRUE(waitFor([&] {
                for (const Accessible& candidate : app->accessible().findAll(place.role, 40))
                    if ((now = candidate.text()).find(upper(secondWord(place.words))) != std::string::npos)
                        return true;
                return false;
            })) << "text now: "
                << now << "\n"
                << quoddle->log();
            EXPECT_NE(now.substr(0, now.find('\n')).find(place.words.substr(place.words.rfind(' '))),
                      std::string::npos)
                << "only the selected words change: " << now;
        }
    }
    if (GetParam().terminal) {
        const std::optional<Segment> at = locate(GetParam().places.front());
        ASSERT_TRUE(at);
        ASSERT_TRUE(dragForPalette(*at) && clickButton("Undo"));
        const auto signals = [&] { return readBytes(folder / "signals.log"); };
        EXPECT_FALSE(waitFor([&] { return !signals().empty(); }, 1s))
            << "Copy or Undo signalled: " << signals();
        // The positive control: Control+C typed into the terminal is a SIGINT the program logs.
        screen.activate(app->window());
        screen.key("c", {"Control_L"});
        EXPECT_TRUE(waitFor([&] { return signals().find("INT") != std::string::npos; }));
        EXPECT_EQ(signals(), "INT\n");
    }
}

INSTANTIATE_TEST_SUITE_P(FromDebian, DebianApplications, ::testing::ValuesIn(kTargets),
                         [](const auto& info) { return info.param.name; });

// Quoddle as a person meets it after installing: its settings window opens in front at the first start (the
// defaults say so), and a drag in the application behind it, whose press also activates that application,
// opens the palette.
class FirstStart : public Desk {};

TEST_F(FirstStart, TheSettingsWindowIsInFrontAndADragInTheEditorBehindItOpensThePalette) {
    ASSERT_NO_FATAL_FAILURE(launch({.name = "mousepad",
                                    .command = {"mousepad", "{dir}/notes.txt"},
                                    .files = {{"notes.txt", lines(30)}},
                                    .title = "{dir}/notes.txt"}));
    const Accessible text = element({"text", ATSPI_ROLE_TEXT, kWords, Locate::Characters, false});
    // The editor is not brought to the front: the press of the drag does that.
    quoddle =
        std::make_unique<Quoddle>(PlistDictionary{}, QuoddleOptions{.asInstalled = true, .verbose = true});
    ASSERT_TRUE(quoddle->ready()) << quoddle->log();
    unsigned long settings = 0;
    std::optional<Box> frame;
    ASSERT_TRUE(waitFor([&] {
        return (settings = screen.window("Quoddle Settings", quoddle->pid())) &&
               (frame = screen.mappedFrame(settings));
    })) << "no settings window at the first start";
    EXPECT_TRUE(waitFor([&] { return screen.topWindow() == settings; }))
        << "the settings window is not in front";

    // A line of the words, and room for the palette after it, that the settings window leaves in sight.
    const Box view = text.extents().value_or(Box{});
    std::optional<Segment> at;
    for (int line = 0; line < 30 && !at; ++line) {
        std::optional<Box> first;
        waitFor([&] {
            return (first = text.characterExtents(line * int(kWords.size() + 1))) && first->width > 0;
        });
        if (first && first->width > 0 && first->y + first->height < view.y + view.height &&
            !overlap({first->x, first->y, 320, first->height}, *frame))
            at = Segment{first->x + 1, first->centerY(), first->x + 120, first->centerY()};
    }
    ASSERT_TRUE(at) << "the settings window hides every line of the editor";
    EXPECT_TRUE(dragForPalette(*at));
}

} // namespace
} // namespace quoddle::desktop
