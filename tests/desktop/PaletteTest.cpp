// The palette over real GTK and Qt applications on the virtual desktop: what a person meets when they
// select text with the mouse, click the palette's buttons and use the application's own menus.
#include "DesktopHarness.h"

#include <gtest/gtest.h>

#include <csignal>

namespace quoddle::desktop {
namespace {

struct SampleApplication {
    std::string program;
    std::string windowTitle;
    std::string applicationKey; // the name Quoddle keeps its history under
};

std::ostream& operator<<(std::ostream& out, const SampleApplication& app) {
    return out << app.program;
}

const SampleApplication kGtk{"quoddle-gtk-sample", "Quoddle GTK Sample", "quoddle-gtk-sample"};
const SampleApplication kQt{"quoddle-qt-sample", "Quoddle Qt Sample", "quoddle-qt-sample"};

PlistDictionary historyOf(const std::string& applicationKey, const std::string& title, int count) {
    auto item = [&](int uses) {
        return PlistDictionary{{"Title", title}, {"Count", uses}, {"Date", std::chrono::system_clock::now()}};
    };
    return {{"MenuItemHistoryDic", PlistDictionary{{applicationKey, PlistDictionary{{title, item(count)}}},
                                                   {"*", PlistDictionary{{title, item(count)}}}}}};
}

class Palette : public ::testing::TestWithParam<SampleApplication> {
protected:
    void SetUp() override {
        if (!screen.available()) GTEST_SKIP() << "no display: run under scripts/desktop-session";
    }
    void start(const PlistDictionary& preferences = {},
               const std::string& text = "alpha beta gamma delta epsilon zeta eta theta") {
        app = std::make_unique<Application>(
            std::vector<std::string>{(buildDirectory() / GetParam().program).string(), "--view-text", text},
            GetParam().windowTitle);
        ASSERT_TRUE(app->window()) << "the application's window never mapped";
        quoddle = std::make_unique<Quoddle>(preferences);
        ASSERT_NE(quoddle->log().find("quoddle: ready"), std::string::npos) << quoddle->log();
        screen.activate(app->window());
        textView = app->textView();
        ASSERT_TRUE(textView) << "no text view in the AT-SPI tree";
    }
    // Drags over the first words of the text view and lets go; the release point.
    std::pair<int, int> dragSelect() {
        const Box view = *textView.extents();
        const int y = view.y + 10, from = view.x + 8, to = view.x + 140;
        screen.drag(from, y, to, y);
        return {to, y};
    }
    bool paletteShown() { return quoddle->palette(screen).has_value(); }
    std::vector<std::string> paletteLabels() {
        std::vector<std::string> labels;
        for (const auto& [label, box] : quoddle->paletteButtons())
            labels.push_back(label);
        return labels;
    }
    void clickPaletteButton(const std::string& label) {
        for (const auto& [name, box] : quoddle->paletteButtons())
            if (name == label) {
                screen.click(box.centerX(), box.centerY());
                return;
            }
        ADD_FAILURE() << "no palette button " << label;
    }
    void shoot(const std::string& name) {
        screen.screenshot(screenshotDirectory() / (GetParam().program + "-" + name + ".png"));
    }

    Screen screen;
    std::unique_ptr<Application> app;
    std::unique_ptr<Quoddle> quoddle;
    Accessible textView;
};

TEST_P(Palette, ADragSelectionShowsThePaletteBesideThePointerWithTheShortcutButtons) {
    start();
    const auto [x, y] = dragSelect();
    ASSERT_TRUE(waitFor([&] { return paletteShown(); })) << quoddle->log();
    shoot("palette");
    const Box palette = *quoddle->palette(screen);
    EXPECT_EQ(palette.width, 180);
    EXPECT_EQ(palette.x, x + 6) << "WindowAndMouseMargin to the right of the pointer";
    EXPECT_NEAR(palette.y + palette.height / 2.0, y, 1.0) << "centred on the pointer";
    EXPECT_EQ(paletteLabels(), (std::vector<std::string>{"Copy", "Cut", "Paste", "All", "Undo"}));
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
    EXPECT_EQ(paletteLabels(), (std::vector<std::string>{"Copy", "Cut", "Paste", "All", "Undo"}));
}

TEST_P(Palette, AServiceButtonPressesTheApplicationsMenuItemAndCountsTheUse) {
    start(historyOf(GetParam().applicationKey, "Make Upper Case", 3));
    dragSelect();
    ASSERT_TRUE(waitFor([&] { return paletteShown(); })) << quoddle->log();
    const std::vector<std::string> labels = paletteLabels();
    ASSERT_NE(std::find(labels.begin(), labels.end(), "Make Upper Case"), labels.end());
    clickPaletteButton("Make Upper Case");
    EXPECT_TRUE(waitFor([&] { return textView.text().find("BETA GAMMA") != std::string::npos; }))
        << textView.text();
    EXPECT_TRUE(textView.text().ends_with("epsilon zeta eta theta")) << "only the selection changes";
    EXPECT_TRUE(waitFor([&] { return !paletteShown(); }));
    shoot("after-service");
    ASSERT_EQ(quoddle->quit(), 0);
    EXPECT_EQ(quoddle->storedUses(GetParam().applicationKey, "Make Upper Case"), 4) << quoddle->historyText();
    EXPECT_EQ(quoddle->storedUses("*", "Make Upper Case"), 4);
}

TEST_P(Palette, TheCopyButtonPostsTheShortcutKeyToTheApplication) {
    start();
    dragSelect();
    ASSERT_TRUE(waitFor([&] { return paletteShown(); }));
    clickPaletteButton("Copy");
    EXPECT_TRUE(waitFor([&] {
        return screen.clipboardText().starts_with("lpha beta") ||
               screen.clipboardText().starts_with("alpha beta");
    })) << "clipboard: "
        << screen.clipboardText();
    EXPECT_TRUE(waitFor([&] { return !paletteShown(); }));
}

TEST_P(Palette, AKeyOrAPressElsewhereHidesThePalette) {
    start();
    dragSelect();
    ASSERT_TRUE(waitFor([&] { return paletteShown(); }));
    screen.key("Shift_L");
    EXPECT_TRUE(waitFor([&] { return !paletteShown(); })) << "a key press hides it";

    // A click first: dragging the selected text again would move it (drag and drop), not select.
    const Box view = *textView.extents();
    screen.click(view.x + view.width - 20, view.y + view.height - 20);
    dragSelect();
    ASSERT_TRUE(waitFor([&] { return paletteShown(); }));
    screen.click(view.x + view.width - 20, view.y + view.height - 20);
    EXPECT_TRUE(waitFor([&] { return !paletteShown(); })) << "a press in the application hides it";
}

TEST_P(Palette, ABlacklistedApplicationGetsNoPaletteWhileAnotherDoes) {
    start({{"BlacklistAppSetting", GetParam().applicationKey + "\n"}});
    dragSelect();
    ASSERT_TRUE(waitFor([&] { return !textView.selectedText().empty(); }));
    EXPECT_FALSE(waitFor([&] { return paletteShown(); }, 800ms));
    // The positive control, in the same run: the other sample application, not on the list.
    const SampleApplication& other = GetParam().program == kGtk.program ? kQt : kGtk;
    Application second({(buildDirectory() / other.program).string(), "--view-text", "alpha beta gamma delta"},
                       other.windowTitle);
    ASSERT_TRUE(second.window());
    screen.activate(second.window());
    const Box view = *second.textView().extents();
    screen.drag(view.x + 8, view.y + 10, view.x + 140, view.y + 10);
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
    screen.click(view.x + view.width - 20, view.y + view.height - 20);
    dragSelect();
    EXPECT_TRUE(waitFor([&] { return paletteShown(); }));
}

// Choosing a Services item from the application's own menus is learned, however the menu was worked.
class MenuLearning : public Palette {
protected:
    // Shows the palette once, so Quoddle has read the application's Services titles, then hides it.
    void learnTitles() {
        dragSelect();
        ASSERT_TRUE(waitFor([&] { return paletteShown(); }));
        screen.key("Escape");
        ASSERT_TRUE(waitFor([&] { return !paletteShown(); }));
    }
    Accessible menuBarItem(const std::string& name) {
        Accessible bar = app->accessible().find(ATSPI_ROLE_MENU_BAR);
        for (AtspiRole role : {ATSPI_ROLE_MENU, ATSPI_ROLE_MENU_ITEM})
            if (Accessible item = bar.find(role, name, 0)) return item;
        return Accessible();
    }
    // A menu item that is on screen (its menu open), by name.
    std::optional<Box> shownItem(const std::string& name) {
        for (AtspiRole role : {ATSPI_ROLE_MENU, ATSPI_ROLE_MENU_ITEM})
            if (Accessible item = app->accessible().find(role, name, 14); item && item.showing())
                return item.extents();
        return std::nullopt;
    }
    bool highlighted(const std::string& name) {
        Accessible item = app->accessible().find(ATSPI_ROLE_MENU_ITEM, name, 14);
        return item.hasState(ATSPI_STATE_SELECTED) || item.hasState(ATSPI_STATE_FOCUSED);
    }
    // Alt+E, up to the last item (Services), and into its submenu, looking at the screen between steps.
    void openServicesByKeyboard() {
        screen.key("e", {"Alt_L"});
        ASSERT_TRUE(waitFor([&] { return shownItem("Services").has_value(); }));
        screen.key("Up");
        screen.key("Right");
        ASSERT_TRUE(waitFor([&] { return shownItem("Make Upper Case").has_value(); }));
    }
    // The uses of the title once Quoddle has saved them (it saves a little after a use) and quit.
    int learned(const std::string& title) {
        waitFor([&] { return quoddle->storedUses(GetParam().applicationKey, title) > 0; }, 4s);
        EXPECT_EQ(quoddle->quit(), 0);
        const int uses = quoddle->storedUses(GetParam().applicationKey, title);
        if (uses != 1) ADD_FAILURE() << quoddle->historyText() << quoddle->log();
        return uses;
    }
};

TEST_P(MenuLearning, AServicesItemChosenWithTheMouseIsLearned) {
    start();
    learnTitles();
    std::optional<Box> edit = menuBarItem("Edit").extents();
    ASSERT_TRUE(edit);
    screen.click(edit->centerX(), edit->centerY());
    std::optional<Box> services;
    ASSERT_TRUE(waitFor([&] { return (services = shownItem("Services")).has_value(); }));
    screen.moveTo(services->centerX(), services->centerY());
    std::optional<Box> item;
    ASSERT_TRUE(waitFor([&] { return (item = shownItem("Bracket Selection")).has_value(); }));
    screen.moveTo(item->x + 10, services->centerY());
    screen.moveTo(item->centerX(), item->centerY());
    // A person clicks once the item is highlighted under the pointer.
    ASSERT_TRUE(waitFor([&] { return highlighted("Bracket Selection"); }));
    screen.click(item->centerX(), item->centerY());
    ASSERT_TRUE(waitFor([&] { return textView.text().find('[') != std::string::npos; })) << textView.text();
    EXPECT_EQ(learned("Bracket Selection"), 1) << quoddle->historyText();
}

TEST_P(MenuLearning, AServicesItemChosenWithTheKeyboardIsLearnedAndACancelledMenuIsNot) {
    start();
    learnTitles();
    // Cancelled: open the Services submenu, then Escape until every menu is closed.
    openServicesByKeyboard();
    screen.key("Escape");
    ASSERT_TRUE(waitFor([&] { return !shownItem("Make Upper Case"); }));
    screen.key("Escape");
    ASSERT_TRUE(waitFor([&] { return !shownItem("Services"); }));
    screen.key("Escape");
    // Chosen: Return on the submenu's first item.
    openServicesByKeyboard();
    screen.key("Return");
    ASSERT_TRUE(waitFor([&] { return textView.text().find("BETA") != std::string::npos; }))
        << textView.text();
    EXPECT_EQ(learned("Make Upper Case"), 1);
}

TEST_P(MenuLearning, AServicesItemChosenByItsMnemonicIsLearned) {
    start();
    learnTitles();
    screen.key("e", {"Alt_L"});
    ASSERT_TRUE(waitFor([&] { return shownItem("Services").has_value(); }));
    screen.key("s");
    ASSERT_TRUE(waitFor([&] { return shownItem("Bracket Selection").has_value(); }));
    screen.key("b");
    ASSERT_TRUE(waitFor([&] { return textView.text().find('[') != std::string::npos; })) << textView.text();
    EXPECT_EQ(learned("Bracket Selection"), 1) << quoddle->historyText();
}

INSTANTIATE_TEST_SUITE_P(SampleApplications, MenuLearning, ::testing::Values(kGtk, kQt),
                         [](const auto& info) { return info.param.program == kGtk.program ? "Gtk" : "Qt"; });

// An application started while Quoddle runs is observed from its start.
TEST(LaunchedApplication, AnApplicationStartedAfterQuoddleGetsThePalette) {
    Screen screen;
    if (!screen.available()) GTEST_SKIP() << "no display: run under scripts/desktop-session";
    Quoddle quoddle;
    ASSERT_NE(quoddle.log().find("quoddle: ready"), std::string::npos) << quoddle.log();
    Application gtk(
        {(buildDirectory() / kGtk.program).string(), "--view-text", "one two three four five six"},
        kGtk.windowTitle);
    screen.activate(gtk.window());
    Accessible view = gtk.textView();
    ASSERT_TRUE(view);
    // The launch reaches Quoddle a moment after the application registers: a person takes that moment too.
    ASSERT_TRUE(waitFor([&] {
        const Box box = *view.extents();
        screen.drag(box.x + 8, box.y + 10, box.x + 140, box.y + 10);
        return waitFor([&] { return quoddle.palette(screen).has_value(); }, 500ms);
    })) << quoddle.log();
}

// An application that stops answering (stopped with SIGSTOP) costs Quoddle a bounded wait, never the
// palette of another application.
TEST(HungApplication, AStoppedApplicationNeverFreezesThePaletteOfAnother) {
    Screen screen;
    if (!screen.available()) GTEST_SKIP() << "no display: run under scripts/desktop-session";
    Application gtk({(buildDirectory() / kGtk.program).string()}, kGtk.windowTitle);
    Application qt({(buildDirectory() / kQt.program).string(), "--view-text", "one two three four five six"},
                   kQt.windowTitle);
    Quoddle quoddle;
    ASSERT_NE(quoddle.log().find("quoddle: ready"), std::string::npos) << quoddle.log();

    gtk.process().signal(SIGSTOP);
    // A press in the stopped application: Quoddle asks it what is under the pointer and gets no answer.
    std::optional<Box> stopped = screen.mappedFrame(gtk.window());
    ASSERT_TRUE(stopped);
    screen.click(stopped->centerX(), stopped->centerY());

    screen.activate(qt.window());
    Accessible view = qt.textView();
    ASSERT_TRUE(view);
    const Box box = *view.extents();
    screen.drag(box.x + 8, box.y + 10, box.x + 140, box.y + 10);
    // Far below the 15 s an unbounded first call to a hung application would take.
    EXPECT_TRUE(waitFor([&] { return quoddle.palette(screen).has_value(); }, 3s)) << quoddle.log();
    gtk.process().signal(SIGCONT);
}

INSTANTIATE_TEST_SUITE_P(SampleApplications, Palette, ::testing::Values(kGtk, kQt),
                         [](const auto& info) { return info.param.program == kGtk.program ? "Gtk" : "Qt"; });

} // namespace
} // namespace quoddle::desktop
