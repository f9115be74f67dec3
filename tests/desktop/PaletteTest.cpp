// The palette over real GTK and Qt applications on the virtual desktop: what a person meets when they
// select text with the mouse, click the palette's buttons and use the application's own menus.
#include "DesktopTest.h"

#include <csignal>

namespace quoddle::desktop {
namespace {

const std::vector<std::string> kShortcutButtons{"Copy", "Cut", "Paste", "All", "Undo"};

std::string toolkitOf(const ::testing::TestParamInfo<Sample>& info) {
    return info.param.program == kGtkSample.program ? "Gtk" : "Qt";
}

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

class Palette : public DesktopTest, public ::testing::WithParamInterface<Sample> {
protected:
    void start(const PlistDictionary& preferences = {}) {
        app = startSample(GetParam(), "alpha beta gamma delta epsilon zeta eta theta");
        ASSERT_TRUE(app->window()) << "the application's window never mapped";
        ASSERT_NO_FATAL_FAILURE(startQuoddle(preferences));
        textView = app->textView();
        ASSERT_TRUE(textView) << "no text view in the AT-SPI tree";
    }
    std::vector<std::string> paletteLabels() {
        std::vector<std::string> labels;
        for (const auto& [label, box] : quoddle->paletteButtons())
            labels.push_back(label);
        return labels;
    }
    // A press in the text view far from the words: the selection goes (a drag from inside it would move
    // the words instead of selecting).
    void clickAway() {
        const Box view = *textView.extents();
        screen.click(view.x + view.width - 20, view.y + view.height - 20);
    }
};

TEST_P(Palette, ADragShowsThePaletteBesideThePointerItsCopyButtonPostsTheKeyAndAKeyOrAPressHidesIt) {
    start();
    const auto [x, y] = dragOverFirstWords(screen, textView);
    ASSERT_TRUE(waitFor([&] { return paletteShown(); })) << quoddle->log();
    EXPECT_EQ(paletteLabels(), kShortcutButtons);
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
        {"a press in the application", [&] { clickAway(); }}};
    for (const auto& [what, hide] : hiding) {
        clickAway();
        dragOverFirstWords(screen, textView);
        ASSERT_TRUE(waitFor([&] { return paletteShown(); })) << what;
        hide();
        EXPECT_TRUE(waitFor([&] { return !paletteShown(); })) << what << " leaves it shown";
    }
}

// A one-line entry (GtkEntry, QLineEdit) gets the palette as the text view does, also when the drag's press
// is what focuses it.
TEST_P(Palette, ADragSelectionInTheOneLineEntryShowsThePaletteToo) {
    start();
    Accessible entry;
    for (const Accessible& text : app->accessible().findAll(ATSPI_ROLE_TEXT))
        if (auto box = text.extents(); box && (!entry || box->height < entry.extents()->height)) entry = text;
    ASSERT_TRUE(entry && entry.extents()->height < textView.extents()->height);
    const Box box = *entry.extents();
    // Pressed while another widget has the focus: GTK reports no selection event for this drag, so the
    // backend asks the pressed element once the button is up.
    screen.drag(box.x + 10, box.centerY(), box.x + 90, box.centerY());
    ASSERT_TRUE(waitFor([&] { return paletteShown(); })) << quoddle->log();
    EXPECT_EQ(paletteLabels(), kShortcutButtons);
}

TEST_P(Palette, AServiceButtonPressesTheApplicationsMenuItemAndCountsTheUse) {
    start(historyOf({GetParam().program, "*"}, {"Make Upper Case"}, 3));
    dragOverFirstWords(screen, textView);
    ASSERT_TRUE(clickButton("Make Upper Case"));
    EXPECT_TRUE(waitFor([&] { return textView.text().find("BETA GAMMA") != std::string::npos; }))
        << textView.text();
    EXPECT_TRUE(textView.text().ends_with("epsilon zeta eta theta")) << "only the selection changes";
    // At once, well inside the delay of the save that follows a use: the end of the session saves it.
    ASSERT_EQ(quoddle->quit(), 0);
    EXPECT_EQ(quoddle->storedUses(GetParam().program, "Make Upper Case"), 4) << quoddle->historyText();
    EXPECT_EQ(quoddle->storedUses("*", "Make Upper Case"), 4);
}

TEST_P(Palette, ABlacklistedApplicationGetsNoPaletteWhileAnotherDoes) {
    start({{"BlacklistAppSetting", GetParam().program + "\n"}});
    dragOverFirstWords(screen, textView);
    ASSERT_TRUE(waitFor([&] { return !textView.selectedText().empty(); }));
    EXPECT_FALSE(waitFor([&] { return paletteShown(); }, 800ms));
    // The positive control, in the same run: the other sample application, not on the list and started
    // while Quoddle runs, so observed from its start.
    const auto other = startSample(GetParam().program == kGtkSample.program ? kQtSample : kGtkSample,
                                   "alpha beta gamma delta");
    ASSERT_TRUE(other->window());
    screen.activate(other->window());
    dragOverFirstWords(screen, other->textView());
    EXPECT_TRUE(waitFor([&] { return paletteShown(); })) << quoddle->log();
}

TEST_P(Palette, ASelectionMadeWithTheKeyboardOpensNothingWhereADragDoes) {
    start();
    const Box view = *textView.extents();
    screen.click(view.x + 8, view.y + 10);
    for (int i = 0; i < 6; ++i)
        screen.key("Right", {"Shift_L"});
    ASSERT_TRUE(waitFor([&] { return textView.selectedText().size() == 6; })) << textView.selectedText();
    EXPECT_FALSE(waitFor([&] { return paletteShown(); }, 800ms));
    // The positive control: the same text selected with the mouse.
    clickAway();
    dragOverFirstWords(screen, textView);
    EXPECT_TRUE(waitFor([&] { return paletteShown(); }));
}

INSTANTIATE_TEST_SUITE_P(SampleApplications, Palette, ::testing::Values(kGtkSample, kQtSample), toolkitOf);

// Choosing a Services item from the application's own menus is learned, however the menu was worked.
class MenuLearning : public Palette {
protected:
    // Alt+E, up to the last item (Services), and into its submenu, looking at the screen between steps.
    void openServicesByKeyboard() {
        screen.key("e", {"Alt_L"});
        ASSERT_TRUE(waitFor([&] { return bool(shownMenuItem(*app, "Services")); }));
        screen.key("Up");
        screen.key("Right");
        ASSERT_TRUE(waitFor([&] { return bool(shownMenuItem(*app, "Make Upper Case")); }));
    }
};

TEST_P(MenuLearning, AServicesItemChosenWithTheMouseTheKeyboardOrItsMnemonicIsLearnedACancelledMenuIsNot) {
    start();
    // Showing the palette once reads the application's Services titles.
    dragOverFirstWords(screen, textView);
    ASSERT_TRUE(waitFor([&] { return paletteShown(); }));
    screen.key("Escape");
    ASSERT_TRUE(waitFor([&] { return !paletteShown(); }));
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
        const std::string before = textView.text();
        row.choose();
        EXPECT_TRUE(waitFor([&] { return textView.text() != before; })) << row.gesture << ": " << before;
        EXPECT_TRUE(waitFor([&] { return quoddle->storedUses(GetParam().program, row.title) == row.uses; }))
            << row.gesture << "\n"
            << quoddle->historyText() << quoddle->log();
    }
    ASSERT_EQ(quoddle->quit(), 0);
    EXPECT_EQ(quoddle->storedUses(GetParam().program, "Bracket Selection"), 2) << quoddle->historyText();
    EXPECT_EQ(quoddle->storedUses(GetParam().program, "Make Upper Case"), 1) << "the cancelled menu counted";
}

INSTANTIATE_TEST_SUITE_P(SampleApplications, MenuLearning, ::testing::Values(kGtkSample, kQtSample),
                         toolkitOf);

// mousepad has no Services menu: a submenu named as the Services menu (the ServiceMenuItemTitle preference,
// as a user can set it) is learned from as one, in an application not written here.
class RealApplicationMenu : public DesktopTest {};

TEST_F(RealApplicationMenu, AChoiceFromTheSubmenuNamedAsTheServicesMenuIsLearned) {
    writeBytes(folder / "notes.txt", "alpha beta gamma delta epsilon\nzeta eta theta iota kappa\n");
    app = std::make_unique<Application>(std::vector<std::string>{"mousepad", folder / "notes.txt"},
                                        (folder / "notes.txt").string() + " - Mousepad");
    ASSERT_TRUE(app->window()) << "mousepad's window never mapped: " << app->output();
    ASSERT_NO_FATAL_FAILURE(startQuoddle({{"ServiceMenuItemTitle", "Open Recent"}}));
    // Showing the palette once reads the titles of that submenu.
    dragOverFirstWords(screen, app->editableText("alpha"));
    ASSERT_TRUE(waitFor([&] { return paletteShown(); })) << quoddle->log();
    screen.key("Escape");
    ASSERT_TRUE(waitFor([&] { return !paletteShown(); }));
    ASSERT_NO_FATAL_FAILURE(chooseWithTheMouse(screen, *app, "File", "Open Recent", "Clear History"));
    EXPECT_TRUE(waitFor([&] { return quoddle->storedUses("mousepad", "Clear History") == 1; }))
        << quoddle->historyText() << quoddle->log();
    screen.key("Escape"); // a question the item may have asked
}

// An application that stops answering (stopped with SIGSTOP) costs Quoddle a bounded wait, never the
// palette of another application.
class HungApplication : public DesktopTest {};

TEST_F(HungApplication, AStoppedApplicationNeverFreezesThePaletteOfAnother) {
    const auto gtk = startSample(kGtkSample, "alpha beta gamma");
    const auto qt = startSample(kQtSample, "one two three four five six");
    ASSERT_NO_FATAL_FAILURE(startQuoddle());

    gtk->process().signal(SIGSTOP);
    // A press in the stopped application: Quoddle asks it what is under the pointer and gets no answer.
    std::optional<Box> stopped = screen.mappedFrame(gtk->window());
    ASSERT_TRUE(stopped);
    screen.click(stopped->centerX(), stopped->centerY());

    screen.activate(qt->window());
    Accessible view = qt->textView();
    ASSERT_TRUE(view);
    dragOverFirstWords(screen, view);
    // Far below the 15 s an unbounded first call to a hung application would take.
    EXPECT_TRUE(waitFor([&] { return paletteShown(); }, 3s)) << quoddle->log();
    gtk->process().signal(SIGCONT);
}

} // namespace
} // namespace quoddle::desktop
