#include "PaletteFixture.h"

namespace quoddle {
namespace {

using Titles = std::vector<std::string>;

class ShortcutButtons : public PaletteFixture {
protected:
    // The application in front, with an accessibility tree so that posted keys reach it.
    ProcessId frontApplication() {
        RunningApplication app = desktop.launch("Front", "com.example.Front");
        desktop.workspace.activate(app.processIdentifier);
        return app.processIdentifier;
    }
    // Lays out the text on a shown palette and clicks the button labelled by its first line's first field.
    void click(const std::string& text) {
        setShortcutText(text);
        controller().addServiceButton();
        desktop.window.orderFront();
        controller().startCheckMouseTimer();
        SimButton* button = desktop.window.buttonTitled(text.substr(0, text.find('\t')));
        ASSERT_NE(button, nullptr) << text;
        button->performClick();
    }
    // The keyboard events posted since event `from`, as "55d 8d 8u 55u", each with "@pid" unless sent to
    // `pid`.
    std::string postedKeys(std::size_t from, ProcessId pid) {
        std::string keys;
        const std::vector<SimKeyboardEvent>& events = desktop.accessibility.keyboardEvents();
        for (std::size_t i = from; i < events.size(); ++i) {
            keys += (keys.empty() ? "" : " ") + std::to_string(events[i].virtualKey) +
                    (events[i].keyDown ? "d" : "u");
            if (events[i].pid != pid) keys += "@" + std::to_string(events[i].pid);
        }
        return keys;
    }
    std::size_t eventCount() { return desktop.accessibility.keyboardEvents().size(); }
};

TEST_F(ShortcutButtons, TheGridSetsThePalettesHeightAndACommentLeavesItsSlotEmpty) {
    setShortcutText("A\tchar\ta\nB\tchar\tb\nC\tchar\tc\n#\nD\tchar\td\tcommand\n");
    controller().addServiceButton();
    EXPECT_EQ(shortcutButtonTitles(), (Titles{"A", "B", "C", "D"}));
    EXPECT_EQ(controller().shortcutButtonArray[3]->frame(), (Rect{{6, 32}, {37, 20}}));
    EXPECT_EQ(controller().shortcutButtonArray[3]->tag(), 3);
    EXPECT_EQ(controller().shortcutKeyArray[3], (Titles{"D", "char", "d", "command"}));

    std::string eight;
    for (int i = 0; i < 8; ++i)
        eight += "B" + std::to_string(i) + "\tchar\tc\n";
    for (auto [text, lines] : {std::pair{eight, 2}, {eight + "Ninth\tchar\tc\n", 3}}) {
        setShortcutText(text);
        controller().addServiceButton();
        EXPECT_EQ(shortcutButtonLine, lines);
        EXPECT_EQ(contentHeight(), lines * 26 + 6) << "58 points for two rows, 84 for three";
    }

    setShortcutText("\r\n\t\tcommand\n");
    desktop.window.setFrame(Rect{{10, 10}, {180, 300}}, false);
    EXPECT_FALSE(controller().addServiceButton());
    EXPECT_EQ(shortcutButtonLine, 0);
    EXPECT_EQ(desktop.window.frame().size.height, 300) << "no slot: the frame is not touched";
}

TEST_F(ShortcutButtons, AClickPostsItsKeyWrappedInItsModifiersInAFixedOrderThenHides) {
    const ProcessId front = frontApplication();
    const std::pair<std::string, std::string> cases[] = {
        {"Copy\tchar\tc\tcommand\n", "55d 8d 8u 55u"},
        {"Alt\tchar\tz\toption\tshift\n", "56d 58d 6d 6u 56u 58u"},
        {"Return\tkeyCode\t 36\n", "36d 36u"}, // a key code is its leading number, low 16 bits
        {"Wide\tkeyCode\t65572xyz\n", "36d 36u"},
        {"Text\tkeyCode\tReturn\n", "0d 0u"},
        {"Upper\tchar\tC\tcontrol\n", "59d 59u"}, // no key types it: only the modifiers
        {"Odd\tCHAR\tc\tcommand\n", "55d 55u"},
        // The label counts as a word too, case matters and a repeated word changes nothing.
        {"command\tchar\tc\toption\tCommand\tcontrol\tshift\tcommand\n",
         "55d 56d 59d 58d 8d 8u 55u 56u 59u 58u"},
        {"Two\tkeyCode\tcommand\n", "55d 0d 0u 55u"}, // the value is a word too, and key code 0
    };
    for (const auto& [text, keys] : cases) {
        const std::size_t before = eventCount();
        click(text);
        EXPECT_EQ(postedKeys(before, front), keys) << text;
        EXPECT_FALSE(desktop.window.isVisible()) << text;
        EXPECT_FALSE(controller().checkMouseTimer) << text;
    }
}

TEST_F(ShortcutButtons, AClickThatCannotPostChangesNothing) {
    click("Copy\tchar\tc\tcommand\tStopAutoHideWindow\n");
    EXPECT_EQ(desktop.appServices.beepCount, 1) << "no application element in front";
    EXPECT_TRUE(desktop.window.isVisible());
    EXPECT_TRUE(controller().checkMouseTimer);
    EXPECT_FALSE(controller().isStopAutoHideWindow);

    frontApplication();
    click("Bare\tkeyCode\n");
    EXPECT_EQ(desktop.appServices.beepCount, 1) << "a line without a value is abandoned silently";
    EXPECT_TRUE(desktop.window.isVisible());
    EXPECT_EQ(eventCount(), 0u);
}

TEST_F(ShortcutButtons, ShowShortcutOnlyKeepsTheTopEdgeOfTheOpenPalette) {
    desktop.window.frameAllowance = 22;
    frontApplication();
    target("TextEdit");
    history("TextEdit", "One", 1, 0);
    history("TextEdit", "Two", 1, 1);
    setShortcutText("Enter\tkeyCode\t76\tDontHideWindow\tShowShortcutOnly\n");
    controller().addServiceButton();
    desktop.window.setFrameOrigin(Point{500, 300.75});
    ASSERT_EQ(desktop.window.frame().maxY(), 406.75);
    desktop.window.orderFront();
    desktop.window.buttonTitled("Enter")->performClick();

    EXPECT_TRUE(desktop.window.isVisible());
    EXPECT_EQ(contentHeight(), 32);
    EXPECT_EQ(desktop.window.frame(), (Rect{{500, 352}, {180, 54}})) << "top edge 406.75, kept as 406";
    EXPECT_EQ(desktop.window.buttons().size(), 3u) << "the service buttons stay, below the visible area";
}

TEST_F(ShortcutButtons, AServiceLineInvokesTheServiceInTheTargetIgnoringModifiers) {
    frontApplication();
    target("TextEdit", {"Spelling", "Make Sticky"});
    click("Spell\tservice\tSpelling\tcommand\tShowShortcutOnly\n");
    EXPECT_EQ(pressedServices(), (Titles{"AXPress Spelling"}))
        << "in the target, not in the application in front";
    EXPECT_EQ(eventCount(), 0u);
    EXPECT_FALSE(desktop.window.isVisible());
    EXPECT_EQ(contentHeight(), 32) << "flags apply after a service, even when it hides";

    click("Missing\tservice\tNo Such Item\tDontHideWindow\n");
    EXPECT_EQ(desktop.appServices.beepCount, 1);
    EXPECT_TRUE(desktop.window.isVisible()) << "the flags apply even when the item cannot be found";
}

} // namespace
} // namespace quoddle
