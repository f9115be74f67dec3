// Quoddle on Debian's own applications, as a person meets it there: a drag over words opens the palette
// beside the pointer, its Copy button puts those words on the clipboard, and where the text is editable a
// desktop service button replaces them in place. Editors of three toolkits, LibreOffice Writer, the pages
// of two browsers, and two terminals, where a shortcut button must never reach the running program as a
// signal. Each application starts once for its case and shows all its places there.
#include "DesktopHarness.h"

#include <gtest/gtest.h>

#include <fstream>

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
    std::string name;
    std::function<std::unique_ptr<Application>(const fs::path& folder)> start;
    std::vector<Place> places;
    bool terminal = false;
    bool moveAway = false; // from the top-left corner, before Quoddle starts
};

std::ostream& operator<<(std::ostream& out, const Target& target) {
    return out << target.name;
}

fs::path written(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
    return file;
}

std::string secondWord(const std::string& words) {
    const size_t start = words.find(' ') + 1;
    return words.substr(start, words.find(' ', start) - start);
}

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

Application::Launch titleStarting(std::chrono::milliseconds deadline = 10s, bool anyProcess = false) {
    Application::Launch launch;
    launch.titleStarts = true;
    launch.windowOfAnyProcess = anyProcess;
    launch.deadline = deadline;
    return launch;
}

std::unique_ptr<Application> editor(const std::vector<std::string>& command, const fs::path& folder) {
    const fs::path file = written(folder / "notes.txt", kWords + "\nzeta eta theta iota kappa\n");
    std::vector<std::string> arguments = command;
    arguments.push_back(file);
    return std::make_unique<Application>(arguments, "notes.txt", titleStarting());
}

// A page with a textarea at the top and, below it, a paragraph of the words on many lines, so that a drag
// across the middle of the browser's window is over them wherever its toolbars end.
fs::path page(const fs::path& folder) {
    std::string lines;
    for (int i = 0; i < 12; ++i)
        lines += kWords + "<br>";
    return written(folder / "page.html",
                   "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Quoddle Page</title><style>"
                   "body{margin:0;font:28px/40px sans-serif} p{margin:30px} textarea{margin:30px 30px 0;"
                   "font:inherit;width:80%;height:120px}</style></head><body><textarea>" +
                       kOtherWords + "</textarea><p>" + lines + "</p></body></html>");
}

std::unique_ptr<Application> firefox(const fs::path& folder) {
    // No data-reporting bar (it moves the page down 51 px some seconds after start), welcome page or
    // default-browser question.
    written(folder / "profile/user.js",
            "user_pref(\"datareporting.policy.dataSubmissionPolicyBypassNotification\", true);\n"
            "user_pref(\"toolkit.telemetry.reportingpolicy.firstRun\", false);\n"
            "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
            "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
            "user_pref(\"browser.aboutwelcome.enabled\", false);\n"
            "user_pref(\"startup.homepage_welcome_url\", \"\");\n");
    return std::make_unique<Application>(std::vector<std::string>{"firefox-esr", "--no-remote", "--profile",
                                                                  folder / "profile",
                                                                  "file://" + page(folder).string()},
                                         "Quoddle Page", titleStarting(40s));
}

std::unique_ptr<Application> chromium(const fs::path& folder) {
    return std::make_unique<Application>(
        std::vector<std::string>{"chromium", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                 "--disable-background-networking", "--disable-component-update",
                                 "--disable-sync", "--user-data-dir=" + (folder / "profile").string(),
                                 "--window-position=120,40", "--window-size=1000,800",
                                 "file://" + page(folder).string()},
        "Quoddle Page", titleStarting(40s));
}

std::unique_ptr<Application> writer(const fs::path& folder) {
    written(folder / "lo/user/registrymodifications.xcu",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<oor:items "
            "xmlns:oor=\"http://openoffice.org/2001/registry\">"
            "<item oor:path=\"/org.openoffice.Office.Common/Misc\"><prop oor:name=\"ShowTipOfTheDay\" "
            "oor:op=\"fuse\">"
            "<value>false</value></prop></item><item oor:path=\"/org.openoffice.Setup/Product\">"
            "<prop oor:name=\"ooSetupLastVersion\" "
            "oor:op=\"fuse\"><value>99.0</value></prop></item></oor:items>\n");
    const fs::path document = written(
        folder / "note.fodt",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.2\" "
        "office:mimetype=\"application/vnd.oasis.opendocument.text\"><office:body><office:text><text:p>" +
            kWords +
            "</text:p><text:p>zeta eta theta iota "
            "kappa</text:p></office:text></office:body></office:document>\n");
    return std::make_unique<Application>(
        std::vector<std::string>{"soffice", "--writer", "--norestore",
                                 "-env:UserInstallation=file://" + (folder / "lo").string(), document},
        "note.fodt", titleStarting(60s, true));
}

// Prints the words, then waits, writing each SIGINT or SIGTSTP it gets to the log; "ready" once printed.
std::vector<std::string> wordsProgram(const fs::path& folder) {
    const fs::path log = folder / "signals.log";
    written(folder / "words.sh", "trap 'echo INT >>\"$1\"' INT\ntrap 'echo TSTP >>\"$1\"' TSTP\necho '" +
                                     kWords + "'\n: >\"$1.ready\"\nwhile :; do read -r -t 5 _; done\n");
    return {"bash", (folder / "words.sh").string(), log.string()};
}

std::unique_ptr<Application> xfceTerminal(const fs::path& folder) {
    std::vector<std::string> command{"xfce4-terminal", "--disable-server", "--title", "Quoddle Terminal",
                                     "--geometry",     "80x12+300+200",    "-x"};
    for (const std::string& part : wordsProgram(folder))
        command.push_back(part);
    return std::make_unique<Application>(command, "Quoddle Terminal");
}

std::unique_ptr<Application> xterm(const fs::path& folder) {
    std::vector<std::string> command{"xterm", "-T", "Quoddle XTerm", "-fa",          "Monospace",
                                     "-fs",   "14", "-geometry",     "60x8+300+300", "-e"};
    for (const std::string& part : wordsProgram(folder))
        command.push_back(part);
    Application::Launch launch;
    launch.accessible = false;
    return std::make_unique<Application>(command, "Quoddle XTerm", launch);
}

const Place kEditorText{"text", ATSPI_ROLE_TEXT, kWords, Locate::ElementCorner, true};

const std::vector<Target> kTargets{
    // gedit shows line numbers left of the text: the characters say where it starts.
    {"gedit",
     [](const fs::path& f) {
         return editor({"gedit", "--standalone"}, f);
     },
     {{"text", ATSPI_ROLE_TEXT, kWords, Locate::Characters, true}}},
    {"GnomeTextEditor",
     [](const fs::path& f) {
         return editor({"gnome-text-editor", "--standalone"}, f);
     },
     {{"text", ATSPI_ROLE_TEXT, kWords, Locate::WindowRelative, true}},
     false,
     true},
    {"kwrite", [](const fs::path& f) { return editor({"kwrite"}, f); }, {kEditorText}},
    {"LibreOfficeWriter",
     writer,
     {{"paragraph", ATSPI_ROLE_PARAGRAPH, kWords, Locate::Characters, true, 120, ATSPI_ROLE_DOCUMENT_TEXT}}},
    {"FirefoxESR",
     firefox,
     {{"page", ATSPI_ROLE_PARAGRAPH, kWords, Locate::ElementCorner, false, 220},
      {"textarea", ATSPI_ROLE_ENTRY, kOtherWords, Locate::ElementCorner, true, 260}}},
    {"Chromium", chromium, {{"page", ATSPI_ROLE_INVALID, kWords, Locate::WindowMiddle, false, 220}}},
    {"xfce4terminal",
     xfceTerminal,
     {{"terminal", ATSPI_ROLE_TERMINAL, kWords, Locate::Characters, false}},
     true},
    {"xterm", xterm, {{"terminal", ATSPI_ROLE_INVALID, kWords, Locate::FirstTerminalRow, false}}, true},
};

// A drag from one point to another.
struct Segment {
    int fromX, fromY, toX, toY;
};

bool overlap(const Box& a, const Box& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

// What every case does as the person at the desktop: drag, look for the palette, click its buttons.
class Desk {
protected:
    // Drags and waits for the palette beside the pointer; its buttons, or none.
    std::vector<std::pair<std::string, Box>> dragForPalette(const Segment& at) {
        screen.drag(at.fromX, at.fromY, at.toX, at.toY);
        std::optional<Box> palette;
        if (!waitFor([&] { return (palette = quoddle->palette(screen)).has_value(); }, 4s)) {
            ADD_FAILURE() << "no palette after a drag from " << at.fromX << "," << at.fromY << " to "
                          << at.toX << "," << at.toY << "\n"
                          << quoddle->log();
            return {};
        }
        EXPECT_NEAR(palette->y + palette->height / 2.0, at.toY, 1.5) << "centred on the pointer";
        EXPECT_TRUE(palette->x == at.toX + 6 || palette->x + palette->width == at.toX - 6)
            << "palette at x " << palette->x << ", pointer at " << at.toX;
        return quoddle->paletteButtons();
    }
    // Clicks the button and waits for the palette to go.
    bool clickButton(const std::vector<std::pair<std::string, Box>>& buttons, const std::string& label) {
        for (const auto& [name, box] : buttons)
            if (name == label) {
                screen.click(box.centerX(), box.centerY());
                return waitFor([&] { return !quoddle->palette(screen); });
            }
        ADD_FAILURE() << "no palette button " << label;
        return false;
    }
    void makeFolder() {
        char pattern[] = "/tmp/quoddle-apps-XXXXXX";
        folder = mkdtemp(pattern);
    }
    void cleanUp(const std::string& name, bool failed) {
        if (failed) screen.screenshot(screenshotDirectory() / ("applications-" + name + "-failed.png"));
        quoddle.reset();
        app.reset();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    Screen screen;
    fs::path folder;
    std::unique_ptr<Application> app;
    std::unique_ptr<Quoddle> quoddle;
};

class DebianApplications : public ::testing::TestWithParam<Target>, protected Desk {
protected:
    void SetUp() override {
        if (!screen.available()) GTEST_SKIP() << "no display: run under scripts/desktop-session";
        makeFolder();
        app = GetParam().start(folder);
        ASSERT_TRUE(app->window()) << GetParam().name << "'s window never mapped: " << app->output();
        if (GetParam().moveAway) {
            // Away from the corner, where window and screen coordinates would agree.
            ASSERT_TRUE(screen.moveWindow(app->window(), 500, 300));
        }
        if (GetParam().terminal) {
            ASSERT_TRUE(waitFor([&] { return fs::exists(folder / "signals.log.ready"); }, 10s));
        }
        quoddle = std::make_unique<Quoddle>(kPreferences, Quoddle::Start{.verbose = true});
        ASSERT_NE(quoddle->log().find("quoddle: ready"), std::string::npos) << quoddle->log();
        screen.activate(app->window());
    }
    void TearDown() override { cleanUp(GetParam().name, HasFailure()); }

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

    std::string signals() {
        std::ifstream in(folder / "signals.log");
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

TEST_P(DebianApplications, ADragShowsThePaletteCopyCopiesTheWordsAndAServiceReplacesThemInPlace) {
    for (const Place& place : GetParam().places) {
        SCOPED_TRACE(place.name);
        const std::optional<Segment> at = locate(place);
        if (!at) {
            ADD_FAILURE() << "the words are not to be found on the screen";
            continue;
        }
        screen.setClipboardText("nothing copied yet");
        const auto buttons = dragForPalette(*at);
        screen.screenshot(screenshotDirectory() /
                          ("applications-" + GetParam().name + "-" + place.name + ".png"));
        if (buttons.empty() || !clickButton(buttons, "Copy")) continue;
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
            const auto again = dragForPalette(*at);
            if (again.empty() || !clickButton(again, "Upper")) continue;
            std::string now;
            EXPECT_TRUE(waitFor([&] {
                for (const Accessible& candidate : app->accessible().findAll(place.role, 40))
                    if ((now = candidate.text()).find(upper(secondWord(place.words))) != std::string::npos)
                        return true;
                return false;
            })) << "text now: "
                << now << "\n"
                << quoddle->log();
            EXPECT_NE(now.find(place.words.substr(place.words.rfind(' '))), std::string::npos)
                << "only the selected words change: " << now;
        }
    }
    if (GetParam().terminal) {
        const std::optional<Segment> at = locate(GetParam().places.front());
        ASSERT_TRUE(at);
        ASSERT_TRUE(clickButton(dragForPalette(*at), "Undo"));
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

// A GTK 3 editor on a document of many lines of the words.
class DebianEditor : public ::testing::Test, protected Desk {
protected:
    void SetUp() override {
        if (!screen.available()) GTEST_SKIP() << "no display: run under scripts/desktop-session";
        makeFolder();
    }
    void TearDown() override {
        cleanUp(::testing::UnitTest::GetInstance()->current_test_info()->name(), HasFailure());
    }
    // The command gets the document's path; its window's title starts with the name, or the path.
    void start(std::vector<std::string> command, bool titleStartsWithPath, int lines) {
        std::string text;
        for (int i = 0; i < lines; ++i)
            text += kWords + "\n";
        const fs::path file = written(folder / "notes.txt", text);
        command.push_back(file);
        app = std::make_unique<Application>(command, titleStartsWithPath ? file.string() : "notes.txt",
                                            titleStarting());
        ASSERT_TRUE(app->window()) << command[0] << "'s window never mapped: " << app->output();
        ASSERT_TRUE(waitFor([&] {
            for (const Accessible& candidate : app->accessible().findAll(ATSPI_ROLE_TEXT, 30))
                if (candidate.showing() && candidate.text().starts_with(kWords)) textView = candidate;
            return bool(textView);
        }));
    }
    // Where the line starts, once the toolkit can say.
    Box lineStart(int line) {
        std::optional<Box> box;
        waitFor([&] {
            return (box = textView.characterExtents(line * int(kWords.size() + 1))) && box->width > 0;
        });
        return box.value_or(Box{});
    }
    std::optional<Box> shown(AtspiRole role) {
        for (const Accessible& candidate : app->accessible().findAll(role, 30))
            if (std::optional<Box> box = candidate.extents(); box && candidate.showing() && box->width > 1)
                return box;
        return std::nullopt;
    }

    Accessible textView;
};

// Quoddle as a person meets it after installing: its settings window opens in front at the first start (the
// defaults say so), and a drag in the application behind it, whose press also activates that application,
// opens the palette.
TEST_F(DebianEditor, AtTheFirstStartTheSettingsWindowIsInFrontAndADragBehindItOpensThePalette) {
    ASSERT_NO_FATAL_FAILURE(start({"mousepad"}, true, 30));
    quoddle =
        std::make_unique<Quoddle>(PlistDictionary{}, Quoddle::Start{.asInstalled = true, .verbose = true});
    ASSERT_NE(quoddle->log().find("quoddle: ready"), std::string::npos) << quoddle->log();
    unsigned long settings = 0;
    std::optional<Box> frame;
    ASSERT_TRUE(waitFor([&] {
        return (settings = screen.windowNamed(quoddle->pid(), "Quoddle Settings")) &&
               (frame = screen.mappedFrame(settings));
    })) << "no settings window at the first start";
    EXPECT_TRUE(waitFor([&] { return screen.topWindow() == settings; }))
        << "the settings window is not in front";
    screen.screenshot(screenshotDirectory() / "applications-first-start.png");

    // A line of the words, and room for the palette after it, that the settings window leaves in sight.
    const Box view = *textView.extents();
    std::optional<Segment> at;
    for (int line = 0; line < 30 && !at; ++line) {
        const Box first = lineStart(line);
        const Box room{first.x, first.y, 320, first.height};
        if (first.width > 0 && first.y + first.height < view.y + view.height && !overlap(room, *frame))
            at = Segment{first.x + 1, first.centerY(), first.x + 120, first.centerY()};
    }
    ASSERT_TRUE(at) << "the settings window hides every line of the editor";
    EXPECT_FALSE(dragForPalette(*at).empty());
}

// A drag that starts in the text and is let go over another part of the same window still selected text.
TEST_F(DebianEditor, ADragLetGoOverTheScrollBarOrTheStatusBarOpensThePalette) {
    ASSERT_NO_FATAL_FAILURE(start({"gedit", "--standalone"}, false, 60));
    quoddle = std::make_unique<Quoddle>(kPreferences, Quoddle::Start{.verbose = true});
    ASSERT_NE(quoddle->log().find("quoddle: ready"), std::string::npos) << quoddle->log();
    screen.activate(app->window());
    const Box first = lineStart(0);
    const std::optional<Box> scrollBar = shown(ATSPI_ROLE_SCROLL_BAR),
                             statusBar = shown(ATSPI_ROLE_STATUS_BAR);
    ASSERT_TRUE(scrollBar && statusBar && first.width > 0);
    for (const Segment& at : {Segment{first.x + 1, first.centerY(), scrollBar->centerX(), first.centerY()},
                              Segment{first.x + 1, first.centerY(), first.x + 150, statusBar->centerY()}}) {
        EXPECT_FALSE(dragForPalette(at).empty());
        // A key hides the palette and leaves no selection to drag from.
        screen.key("Right");
        EXPECT_TRUE(waitFor([&] { return !quoddle->palette(screen) && textView.selectedText().empty(); }));
    }
}

} // namespace
} // namespace quoddle::desktop
