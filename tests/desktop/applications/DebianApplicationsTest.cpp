// Quoddle on Debian's own applications, as a person meets it there: a drag over words opens the palette
// beside the pointer, its Copy button puts those words on the clipboard, and where the text is editable a
// desktop service button replaces them in place. Editors of three toolkits, Qt Linguist's Find dialog,
// LibreOffice Writer, the pages of two browsers, and two terminals, where a shortcut button must never
// reach the running program as a signal. Each application starts once for its case and shows all its
// places there.
#include "DebianApplications.h"
#include "DesktopTest.h"

#include <algorithm>

namespace quoddle::desktop {
namespace {

// The default shortcut buttons and one for a desktop service that replaces the selection.
const PlistDictionary kPreferences{
    {"ShortcutButtonSetting",
     std::string("Copy\tchar\tc\tcontrol\nCut\tchar\tx\tcontrol\nPaste\tchar\tv\tcontrol\n"
                 "All\tchar\ta\tcontrol\tDontHideWindow\nUndo\tchar\tz\tcontrol\n"
                 "Upper\tservice\tMake Upper Case\n")}};

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
        app = start(target, folder.path());
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
    Accessible element(const Place& place) { return wordsElement(*app, place); }
    std::optional<Segment> locate(const Place& place) { return locateWords(screen, *app, place); }
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
        ASSERT_TRUE(readyForWords(screen, *app, GetParam(), folder.path()));
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

INSTANTIATE_TEST_SUITE_P(FromDebian, DebianApplications, ::testing::ValuesIn(kDebianApplications),
                         [](const auto& info) { return info.param.name; });

// Quoddle as a person meets it after installing: its settings window opens in front at the first start (the
// defaults say so), and a drag in the application behind it, whose press also activates that application,
// opens the palette.
class FirstStart : public Desk {};

TEST_F(FirstStart, TheSettingsWindowIsInFrontAndADragInTheEditorBehindItOpensThePalette) {
    ASSERT_NO_FATAL_FAILURE(launch(kMousepad));
    const Accessible text = element(kMousepad.places.front());
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
