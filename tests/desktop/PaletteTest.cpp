// The palette over real GTK and Qt applications on the virtual desktop: what a person meets when they
// select text with the mouse, click the palette's buttons and use the application's own menus.
#include "DesktopTest.h"

#include <csignal>

namespace quoddle::desktop {
namespace {

// A menu or menu item on screen (its menu open), by name: GTK gives closed menus' items fake extents.
Accessible shownMenuItem(const Application& app, const std::string& name) {
    for (AtspiRole role : {ATSPI_ROLE_MENU, ATSPI_ROLE_MENU_ITEM})
        for (const Accessible& item : app.accessible().findAll(role, 16, name))
            if (auto box = item.extents(); box && item.showing() && box->width > 1 && box->x >= 0)
                return item;
    return Accessible();
}

// Opens the menu with a click, moves to the submenu and onto the item, and clicks the item once it is
// highlighted under the pointer, as a person does.
void chooseWithTheMouse(Screen& screen, const Application& app, const std::string& menu,
                        const std::string& submenu, const std::string& item) {
    std::optional<Box> open, sub, leaf;
    ASSERT_TRUE(waitFor([&] { return bool(open = shownMenuItem(app, menu).extents()); }));
    screen.click(open->centerX(), open->centerY());
    ASSERT_TRUE(waitFor([&] { return bool(sub = shownMenuItem(app, submenu).extents()); }));
    screen.moveTo(sub->centerX(), sub->centerY());
    ASSERT_TRUE(waitFor([&] { return bool(leaf = shownMenuItem(app, item).extents()); }));
    screen.moveTo(leaf->x + 8, sub->centerY());
    screen.moveTo(leaf->centerX(), leaf->centerY());
    ASSERT_TRUE(waitFor([&] {
        const Accessible now = shownMenuItem(app, item);
        return now.hasState(ATSPI_STATE_SELECTED) || now.hasState(ATSPI_STATE_FOCUSED);
    })) << "the item under the pointer is never highlighted";
    screen.click(leaf->centerX(), leaf->centerY());
}

std::string toolkitOf(const ::testing::TestParamInfo<std::string>& info) {
    return info.param == kGtkSample ? "Gtk" : "Qt";
}

class Palette : public DesktopTest, public ::testing::WithParamInterface<std::string> {
protected:
    void start(const PlistDictionary& preferences = {}) {
        ASSERT_NO_FATAL_FAILURE(startApp(GetParam(), "alpha beta gamma delta epsilon zeta eta theta"));
        ASSERT_NO_FATAL_FAILURE(startQuoddle(preferences));
    }
    // A press in the text view far from the words: the selection goes (a drag from inside it would move
    // the words instead of selecting). Two such presses in a row go to different corners, or the toolkit
    // may take them for a double click, which selects the last word.
    void clickAway(bool otherCorner = false) {
        const Box view = *textView.extents();
        screen.click(otherCorner ? view.x + 20 : view.x + view.width - 20, view.y + view.height - 20);
    }
};

// One run of everything a drag in the sample brings: the palette beside the pointer, its Copy button, a key
// or a press hiding it, a service button pressing the application's own item and counting the use; then a
// selection made with the keyboard opens none, and one in the one-line entry, whose drag's press moves the
// focus there, does.
TEST_P(Palette, ADragShowsThePaletteWhoseButtonsActAKeyOrAPressHidesItAndAKeyboardSelectionOpensNone) {
    start(historyOf({GetParam(), "*"}, {"Make Upper Case"}, 3));
    const auto [x, y] = dragAlongFirstLine(screen, textView);
    ASSERT_TRUE(waitFor([&] { return paletteShown(); })) << quoddle->log();
    std::vector<std::string> labels;
    for (const auto& [label, box] : quoddle->paletteButtons())
        labels.push_back(label);
    EXPECT_EQ(labels, (std::vector<std::string>{"Copy", "Cut", "Paste", "All", "Undo", "Make Upper Case"}));
    const Box palette = *quoddle->palette(screen);
    EXPECT_EQ(palette.width, 180);
    EXPECT_EQ(palette.x, x + 6) << "WindowAndMouseMargin to the right of the pointer";
    EXPECT_NEAR(palette.y + palette.height / 2.0, y, 1.0) << "centred on the pointer";
    ASSERT_TRUE(clickButton("Copy"));
    // The drag began at the first word's first or second letter.
    EXPECT_TRUE(waitFor([&] { return screen.clipboardText().find("lpha beta") <= 1; }))
        << "clipboard: " << screen.clipboardText();
    const std::pair<const char*, std::function<void()>> hiding[] = {
        {"a key press", [&] { screen.key("Shift_L"); }},
        {"a press in the application", [&] { clickAway(true); }}};
    for (const auto& [what, hide] : hiding) {
        clickAway();
        ASSERT_TRUE(paletteAfterDrag()) << what << "\n" << quoddle->log();
        hide();
        EXPECT_TRUE(waitFor([&] { return !paletteShown(); })) << what << " leaves it shown\n"
                                                              << quoddle->log();
    }

    ASSERT_TRUE(paletteAfterDrag()) << quoddle->log();
    ASSERT_TRUE(clickButton("Make Upper Case"));
    EXPECT_TRUE(waitFor([&] { return textView.text().find("BETA GAMMA") != std::string::npos; }))
        << textView.text();
    EXPECT_TRUE(textView.text().ends_with("epsilon zeta eta theta")) << "only the selection changes";

    const Box view = *textView.extents();
    screen.click(view.x + 8, view.y + 10);
    for (int i = 0; i < 6; ++i)
        screen.key("Right", {"Shift_L"});
    ASSERT_TRUE(waitFor([&] { return textView.selectedText().size() == 6; })) << textView.selectedText();
    EXPECT_FALSE(waitFor([&] { return paletteShown(); }, 800ms)) << "after a keyboard selection";
    // The positive control: a drag in the entry (the shorter text widget), pressed while the text view has
    // the focus: GTK reports no selection event for it, so the backend asks the pressed element once the
    // button is up.
    Accessible entry;
    for (const Accessible& text : app->accessible().findAll(ATSPI_ROLE_TEXT))
        if (text.extents() && text.extents()->height < view.height) entry = text;
    ASSERT_TRUE(entry);
    const Box box = *entry.extents();
    screen.drag(box.x + 10, box.centerY(), box.x + 90, box.centerY());
    EXPECT_TRUE(waitFor([&] { return paletteShown(); })) << "after a drag in the entry\n" << quoddle->log();

    // At once, well inside the delay of the save that follows a use: the end of the session saves it.
    ASSERT_EQ(quoddle->quit(), 0);
    EXPECT_EQ(quoddle->storedUses(GetParam(), "Make Upper Case"), 4) << quoddle->historyText();
    EXPECT_EQ(quoddle->storedUses("*", "Make Upper Case"), 4);
}

TEST_P(Palette, ABlacklistedApplicationGetsNoPaletteWhileAnotherDoes) {
    start({{"BlacklistAppSetting", GetParam() + "\n"}});
    dragAlongFirstLine(screen, textView);
    ASSERT_TRUE(waitFor([&] { return !textView.selectedText().empty(); }));
    EXPECT_FALSE(waitFor([&] { return paletteShown(); }, 800ms));
    // The positive control, in the same run: the other sample application, not on the list and started
    // while Quoddle runs, so observed from its start.
    const auto other =
        startSample(GetParam() == kGtkSample ? kQtSample : kGtkSample, "alpha beta gamma delta");
    ASSERT_TRUE(other->window());
    screen.activate(other->window());
    textView = other->textView();
    EXPECT_TRUE(paletteAfterDrag()) << quoddle->log();
}

// Choosing a Services item from the application's own menus is learned, however the menu was worked.
TEST_P(Palette, AServicesItemChosenWithTheMouseTheKeyboardOrItsMnemonicIsLearnedACancelledMenuIsNot) {
    start();
    // Showing the palette once reads the application's Services titles.
    ASSERT_TRUE(paletteAfterDrag()) << quoddle->log();
    screen.key("Escape");
    ASSERT_TRUE(waitFor([&] { return !paletteShown(); }));
    // Alt+E, up to the last item (Services), and into its submenu, looking at the screen between steps.
    const auto openServicesByKeyboard = [&] {
        screen.key("e", {"Alt_L"});
        ASSERT_TRUE(waitFor([&] { return bool(shownMenuItem(*app, "Services")); }));
        screen.key("Up");
        screen.key("Right");
        ASSERT_TRUE(waitFor([&] { return bool(shownMenuItem(*app, "Make Upper Case")); }));
    };
    const struct {
        const char* gesture;
        std::function<void()> choose;
        std::string title;
        int uses; // of the title, once chosen
    } rows[] = {
        {"the mouse", [&] { chooseWithTheMouse(screen, *app, "Edit", "Services", "Bracket Selection"); },
         "Bracket Selection", 1},
        {"Return, after a menu cancelled with Escape",
         [&] {
             openServicesByKeyboard();
             screen.key("Escape");
             ASSERT_TRUE(waitFor([&] { return !shownMenuItem(*app, "Make Upper Case"); }));
             screen.key("Escape");
             ASSERT_TRUE(waitFor([&] { return !shownMenuItem(*app, "Services"); }));
             screen.key("Escape"); // Qt's menu bar lets go of the keyboard at the third
             openServicesByKeyboard();
             screen.key("Return"); // on the submenu's first item
         },
         "Make Upper Case", 1},
        {"the mnemonics",
         [&] {
             screen.key("e", {"Alt_L"});
             ASSERT_TRUE(waitFor([&] { return bool(shownMenuItem(*app, "Services")); }));
             screen.key("s");
             ASSERT_TRUE(waitFor([&] { return bool(shownMenuItem(*app, "Bracket Selection")); }));
             screen.key("b");
         },
         "Bracket Selection", 2},
    };
    for (const auto& row : rows) {
        // Keys sent while the last menu still closes would go to it.
        ASSERT_TRUE(waitFor([&] { return !shownMenuItem(*app, "Services"); })) << row.gesture;
        const std::string before = textView.text();
        row.choose();
        EXPECT_TRUE(waitFor([&] { return textView.text() != before; })) << row.gesture << ": " << before;
        EXPECT_TRUE(waitFor([&] { return quoddle->storedUses(GetParam(), row.title) == row.uses; }))
            << row.gesture << "\n"
            << quoddle->historyText() << quoddle->log();
    }
    ASSERT_EQ(quoddle->quit(), 0);
    EXPECT_EQ(quoddle->storedUses(GetParam(), "Bracket Selection"), 2) << quoddle->historyText();
    EXPECT_EQ(quoddle->storedUses(GetParam(), "Make Upper Case"), 1) << "the cancelled menu counted";
}

INSTANTIATE_TEST_SUITE_P(SampleApplications, Palette, ::testing::Values(kGtkSample, kQtSample), toolkitOf);

// mousepad, an application not written here, has no Services menu: a submenu named as the Services menu
// (the ServiceMenuItemTitle preference, as a user can set it) is learned from as one; and the shipped Make
// Upper Case replaces the text through the clipboard, undoes in one step, gives the user's clipboard back
// and is learned for it.
class Mousepad : public DesktopTest {};

TEST_F(Mousepad, AChoiceFromTheSubmenuNamedAsTheServicesMenuIsLearnedAndMakeUpperCaseReplacesTheSelection) {
    writeBytes(folder / "notes.txt", "alpha beta gamma delta epsilon\nzeta eta theta iota kappa\n");
    app = std::make_unique<Application>(std::vector<std::string>{"mousepad", folder / "notes.txt"},
                                        (folder / "notes.txt").string() + " - Mousepad");
    ASSERT_TRUE(app->window()) << "mousepad's window never mapped: " << app->output();
    ASSERT_TRUE(waitFor([&] { return (textView = app->textView()).text().starts_with("alpha"); }));
    PlistDictionary preferences = historyOf({"*"}, {"Make Upper Case"}, 1);
    preferences["ServiceMenuItemTitle"] = "Open Recent";
    ASSERT_NO_FATAL_FAILURE(startQuoddle(preferences));
    // Showing the palette once reads the titles of that submenu.
    ASSERT_TRUE(paletteAfterDrag()) << quoddle->log();
    screen.key("Escape");
    ASSERT_TRUE(waitFor([&] { return !paletteShown(); }));
    ASSERT_NO_FATAL_FAILURE(chooseWithTheMouse(screen, *app, "File", "Open Recent", "Clear History"));
    EXPECT_TRUE(waitFor([&] { return quoddle->storedUses("mousepad", "Clear History") == 1; }))
        << quoddle->historyText() << quoddle->log();

    // No to the question it asks; then the selection goes (a drag from inside it would move the words).
    ASSERT_TRUE(
        waitFor([&] { return app->accessible().find(ATSPI_ROLE_PUSH_BUTTON, "Cancel", 16).doAction(); }));
    ASSERT_TRUE(waitFor([&] { return textView.hasState(ATSPI_STATE_FOCUSED); }));
    screen.key("Right");
    ASSERT_TRUE(waitFor([&] { return textView.selectedText().empty(); }));
    std::string text = textView.text();
    const std::string original = text;
    ASSERT_TRUE(paletteAfterDrag()) << quoddle->log();
    const std::string selected = textView.selectedText();
    ASSERT_FALSE(selected.empty());
    screen.setClipboardText("what the user copied");
    ASSERT_TRUE(clickButton("Make Upper Case"));
    text.replace(text.find(selected), selected.size(), upper(selected));
    ASSERT_TRUE(waitFor([&] { return textView.text() == text; })) << textView.text() << "\n"
                                                                  << quoddle->log();
    EXPECT_TRUE(waitFor([&] { return screen.clipboardText() == "what the user copied"; }))
        << "clipboard: " << screen.clipboardText();
    screen.key("z", {"Control_L"});
    EXPECT_TRUE(waitFor([&] { return textView.text() == original; }))
        << "after one undo: " << textView.text();
    ASSERT_EQ(quoddle->quit(), 0);
    EXPECT_EQ(quoddle->storedUses("mousepad", "Make Upper Case"), 1) << quoddle->historyText();
    EXPECT_EQ(quoddle->storedUses("*", "Make Upper Case"), 2);
}

// An application that stops answering (stopped with SIGSTOP) costs Quoddle a bounded wait, never the
// palette of another application; and once it answers again, a person's next press ends the pause that
// its time-out began, so the drag it starts is served in full.
class HungApplication : public DesktopTest {};

TEST_F(HungApplication, AStoppedApplicationNeverFreezesThePaletteOfAnotherAndIsServedAgainOnceItAnswers) {
    const auto gtk = startSample(kGtkSample, "alpha beta gamma");
    const auto qt = startSample(kQtSample, "one two three four five six");
    ASSERT_NO_FATAL_FAILURE(startQuoddle(historyOf({"*"}, {"Make Upper Case"}, 1)));

    gtk->process().signal(SIGSTOP);
    // A press in the stopped application: Quoddle asks it what is under the pointer and gets no answer.
    std::optional<Box> stopped = screen.mappedFrame(gtk->window());
    ASSERT_TRUE(stopped);
    screen.click(stopped->centerX(), stopped->centerY());

    screen.activate(qt->window());
    ASSERT_TRUE(textView = qt->textView());
    dragAlongFirstLine(screen, textView);
    // Far below the 15 s an unbounded first call to a hung application would take.
    EXPECT_TRUE(waitFor([&] { return paletteShown(); }, 3s)) << quoddle->log();
    // Whatever then fails in the stopped application can be traced to it.
    EXPECT_NE(quoddle->log().find("process " + std::to_string(gtk->pid()) + " did not answer accessibility"),
              std::string::npos)
        << quoddle->log();
    screen.key("Escape");

    // Within the pause: the drag's press ends it, so a service can replace the selection.
    gtk->process().signal(SIGCONT);
    screen.activate(gtk->window());
    ASSERT_TRUE(textView = gtk->textView());
    ASSERT_TRUE(paletteAfterDrag()) << quoddle->log();
    const std::string selected = textView.selectedText();
    ASSERT_FALSE(selected.empty());
    ASSERT_TRUE(clickButton("Make Upper Case"));
    EXPECT_TRUE(waitFor([&] { return textView.text().starts_with(upper(selected)); }))
        << textView.text() << "\n"
        << quoddle->log();
}

} // namespace
} // namespace quoddle::desktop
