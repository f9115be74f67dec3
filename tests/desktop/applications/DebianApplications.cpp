#include "DebianApplications.h"

#include <ostream>

namespace quoddle::desktop {

namespace fs = std::filesystem;

const std::string kWords = "alpha beta gamma delta epsilon";
const std::string kOtherWords = "kappa lambda omicron sigma omega";

std::ostream& operator<<(std::ostream& out, const Target& target) {
    return out << target.name;
}

namespace {

// Lines of the words.
std::string lines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += kWords + "\n";
    return text;
}

// A file of files/, which hold the same words.
std::string applicationFile(const std::string& name) {
    return readBytes(std::filesystem::path(QUODDLE_APPLICATION_FILES) / name);
}

const std::map<std::string, std::string> kNotes{{"notes.txt", kWords + "\nzeta eta theta iota kappa\n"}};

} // namespace

const std::vector<Target> kDebianApplications{
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
     .files = {{"sample.ts", applicationFile("sample.ts")}},
     .title = "{dir}/sample.ts - Qt Linguist",
     .places = {{"find dialog", ATSPI_ROLE_TEXT, kOtherWords, Locate::ElementCorner, false}},
     .typedIntoFind = kOtherWords},
    {.name = "LibreOfficeWriter",
     .command = {"soffice", "--writer", "--norestore", "-env:UserInstallation=file://{dir}/lo",
                 "{dir}/note.fodt"},
     .files = {{"lo/user/registrymodifications.xcu", applicationFile("registrymodifications.xcu")},
               {"note.fodt", applicationFile("note.fodt")}},
     .title = "note.fodt",
     .places = {{"paragraph", ATSPI_ROLE_PARAGRAPH, kWords, Locate::Characters, true, 120,
                 ATSPI_ROLE_DOCUMENT_TEXT}},
     .launch = {.windowOfAnyProcess = true, .deadline = 60s}},
    {.name = "FirefoxESR",
     .command = {"firefox-esr", "--no-remote", "--profile", "{dir}/profile", "file://{dir}/page.html"},
     .files = {{"profile/user.js", applicationFile("user.js")}, {"page.html", applicationFile("page.html")}},
     .title = "Quoddle Page",
     .places = {{"page", ATSPI_ROLE_PARAGRAPH, kWords, Locate::ElementCorner, false, 220},
                {"textarea", ATSPI_ROLE_ENTRY, kOtherWords, Locate::ElementCorner, true, 260}},
     .launch = {.deadline = 40s}},
    {.name = "Chromium",
     .command = {"chromium", "--no-sandbox", "--disable-gpu", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--user-data-dir={dir}/profile", "--window-position=120,40", "--window-size=1000,800",
                 "file://{dir}/page.html"},
     .files = {{"page.html", applicationFile("page.html")}},
     .title = "Quoddle Page",
     .places = {{"page", ATSPI_ROLE_INVALID, kWords, Locate::WindowMiddle, false, 220}},
     .launch = {.deadline = 40s}},
    {.name = "xfce4terminal",
     .command = {"xfce4-terminal", "--disable-server", "--title", "Quoddle Terminal", "--geometry",
                 "80x12+300+200", "-x", "bash", "{dir}/words.sh", "{dir}/signals.log"},
     .files = {{"words.sh", applicationFile("words.sh")}},
     .title = "Quoddle Terminal",
     .places = {{"terminal", ATSPI_ROLE_TERMINAL, kWords, Locate::Characters, false}},
     .terminal = true},
    {.name = "xterm",
     .command = {"xterm", "-T", "Quoddle XTerm", "-fa", "Monospace", "-fs", "14", "-geometry", "60x8+300+300",
                 "-e", "bash", "{dir}/words.sh", "{dir}/signals.log"},
     .files = {{"words.sh", applicationFile("words.sh")}},
     .title = "Quoddle XTerm",
     .places = {{"terminal", ATSPI_ROLE_INVALID, kWords, Locate::FirstTerminalRow, false}},
     .launch = {.accessible = false},
     .terminal = true},
};

const Target kMousepad{.name = "mousepad",
                       .command = {"mousepad", "{dir}/notes.txt"},
                       .files = {{"notes.txt", lines(30)}},
                       .title = "{dir}/notes.txt",
                       .places = {{"text", ATSPI_ROLE_TEXT, kWords, Locate::Characters, true}}};

const Target& debianApplication(const std::string& name) {
    if (name == kMousepad.name) return kMousepad;
    for (const Target& target : kDebianApplications)
        if (target.name == name) return target;
    throw std::invalid_argument("no Debian application " + name);
}

std::unique_ptr<Application> start(const Target& target, const fs::path& folder) {
    auto placed = [&](std::string text) {
        for (size_t at; (at = text.find("{dir}")) != std::string::npos;)
            text.replace(at, 5, folder.string());
        return text;
    };
    for (const auto& [name, text] : target.files) {
        fs::create_directories((folder / name).parent_path());
        writeBytes(folder / name, text);
    }
    std::vector<std::string> command;
    for (const std::string& part : target.command)
        command.push_back(placed(part));
    return std::make_unique<Application>(command, placed(target.title), target.launch);
}

bool readyForWords(Screen& screen, const Application& app, const Target& target, const fs::path& folder) {
    if (target.moveAway && !screen.moveWindow(app.window(), 500, 300)) return false;
    return !target.terminal || waitFor([&] { return fs::exists(folder / "signals.log.ready"); }, 10s);
}

Accessible wordsElement(const Application& app, const Place& place) {
    Accessible found;
    waitFor(
        [&] {
            for (const Accessible& candidate : app.accessible().findAll(place.role, 40))
                if (candidate.text().starts_with(place.words) && candidate.extents() &&
                    candidate.extents()->width > 1 && candidate.extents()->height > 1 &&
                    (candidate.showing() || place.locate == Locate::WindowRelative))
                    return bool(found = candidate);
            return false;
        },
        15s);
    return found;
}

std::optional<Segment> locateWords(Screen& screen, const Application& app, const Place& place) {
    const std::optional<Box> window = screen.mappedFrame(app.window());
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
        const std::optional<Box> box = app.accessible().find(*place.clickFirst, std::nullopt, 40).extents();
        if (!box) return std::nullopt;
        screen.click(box->centerX(), box->centerY());
        // Taken once the caret is in the last paragraph, below the words; until then it gives the words'
        // place as it was before the window manager framed its window.
        if (!waitFor([&] {
                for (const Accessible& other : app.accessible().findAll(place.role, 40))
                    if (other.hasState(ATSPI_STATE_FOCUSED) && !other.text().starts_with(place.words))
                        return true;
                return false;
            }))
            return std::nullopt;
    }
    const Accessible text = wordsElement(app, place);
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
        const std::optional<Box> frame = app.accessible().find(ATSPI_ROLE_FRAME, std::nullopt, 1).extents();
        if (!frame) return std::nullopt;
        box->x += window->x + (window->width - frame->width) / 2;
        box->y += window->y + (window->height - frame->height) / 2;
    }
    return Segment{box->x + 6, box->y + 10, box->x + 6 + place.dragWidth, box->y + 10};
}

} // namespace quoddle::desktop
