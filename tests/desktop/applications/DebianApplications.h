#pragma once
// Debian's own applications as the end-to-end tests and the latency benchmark start them: the command, the
// files it opens, and where its words are on the screen, found as a person finds them by looking.

#include "DesktopHarness.h"

#include <optional>

namespace quoddle::desktop {

// The words the applications show; the page, documents and scripts in files/ hold them too.
extern const std::string kWords;
extern const std::string kOtherWords;

// How the words are found on the screen.
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
std::ostream& operator<<(std::ostream& out, const Target& target);

// Editors of three toolkits, Qt Linguist's Find dialog, LibreOffice Writer, the pages of two browsers and
// two terminals.
extern const std::vector<Target> kDebianApplications;
// Lines of the words in mousepad, with no other window in front.
extern const Target kMousepad;
const Target& debianApplication(const std::string& name);

// A drag from one point to another.
struct Segment {
    int fromX, fromY, toX, toY;
};

// Writes the target's files into the folder and starts it; its window() is 0 when it never mapped.
std::unique_ptr<Application> start(const Target& target, const std::filesystem::path& folder);
// Moves its window away from the top-left corner (where window and screen coordinates would agree) when
// the target says so, and waits for a terminal's words program to print its words; false when either failed.
bool readyForWords(Screen& screen, const Application& app, const Target& target,
                   const std::filesystem::path& folder);
// The element holding the place's words, once the application shows it (GTK 4 says nothing of showing).
Accessible wordsElement(const Application& app, const Place& place);
// Where a drag over the place's first words goes; none when they cannot be seen.
std::optional<Segment> locateWords(Screen& screen, const Application& app, const Place& place);

} // namespace quoddle::desktop
