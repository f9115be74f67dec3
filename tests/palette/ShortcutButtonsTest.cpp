#include "PaletteFixture.h"

namespace quoddle {
namespace {

using Titles = std::vector<std::string>;

SimKeyboardEvent down(std::uint16_t key, ProcessId pid) {
    return SimKeyboardEvent{pid, 0, key, true};
}
SimKeyboardEvent up(std::uint16_t key, ProcessId pid) {
    return SimKeyboardEvent{pid, 0, key, false};
}

class ShortcutButtons : public PaletteFixture {
protected:
    // The application in front, with an accessibility tree so that posted keys reach it.
    ProcessId frontApplication() {
        RunningApplication app = desktop.launch("Front", "com.example.Front");
        desktop.workspace.activate(app.processIdentifier);
        return app.processIdentifier;
    }
    // Lays out the text on a shown palette and clicks the button with the label.
    void click(const std::string& text, const std::string& label) {
        setShortcutText(text);
        controller().addServiceButton();
        desktop.window.orderFront();
        controller().startCheckMouseTimer();
        SimButton* button = desktop.window.buttonTitled(label);
        ASSERT_NE(button, nullptr) << label;
        button->performClick();
    }
    const std::vector<SimKeyboardEvent>& events() { return desktop.accessibility.keyboardEvents(); }
};

TEST_F(ShortcutButtons, TheGridOnThePaletteLeavesACommentsSlotEmpty) {
    setShortcutText("A\tchar\ta\nB\tchar\tb\nC\tchar\tc\n#\nD\tchar\td\tcommand\n");
    controller().addServiceButton();
    EXPECT_EQ(shortcutButtonTitles(), (Titles{"A", "B", "C", "D"}));
    EXPECT_EQ(controller().shortcutButtonArray[3]->frame(), (Rect{{6, 32}, {37, 20}}));
    EXPECT_EQ(controller().shortcutButtonArray[3]->tag(), 3);
    EXPECT_EQ(controller().shortcutKeyArray[3], (Titles{"D", "char", "d", "command"}));
    EXPECT_EQ(shortcutButtonLine, 2);
    EXPECT_EQ(contentHeight(), 58);
}

TEST_F(ShortcutButtons, EightDefinitionsTakeTwoRowsAndNineTakeThree) {
    std::string text;
    for (int i = 0; i < 8; ++i)
        text += "B" + std::to_string(i) + "\tchar\tc\n";
    setShortcutText(text);
    controller().addServiceButton();
    EXPECT_EQ(shortcutButtonLine, 2);
    EXPECT_EQ(contentHeight(), 58);
    setShortcutText(text + "Ninth\tchar\tc\n");
    controller().addServiceButton();
    EXPECT_EQ(shortcutButtonLine, 3);
    EXPECT_EQ(contentHeight(), 84);
}

TEST_F(ShortcutButtons, AnEmptyTextLeavesTheFrameAndPutsTheFirstServiceAtTheTop) {
    setShortcutText("\r\n\t\tcommand\n");
    desktop.window.setFrame(Rect{{10, 10}, {180, 300}}, false);
    controller().makeShortcutButton();
    EXPECT_EQ(shortcutButtonLine, 0);
    EXPECT_EQ(desktop.window.frame().size.height, 300) << "no slot: the frame is not touched";

    target("TextEdit");
    history("TextEdit", "Only", 1, 0);
    controller().addServiceButton();
    EXPECT_EQ(controller().serviceButtonArray[0]->frame().origin.y, 6);
}

TEST_F(ShortcutButtons, APerLineCountBelowOneLaysOutOneButtonPerRow) {
    setPreference(kShortcutButtonNumPerLine, 0);
    setShortcutText("A\tchar\ta\nB\tchar\tb\n");
    controller().addServiceButton();
    EXPECT_EQ(shortcutButtonLine, 2);
    EXPECT_EQ(controller().shortcutButtonArray[1]->frame(), (Rect{{6, 32}, {168, 20}}));
    setPreference(kShortcutButtonNumPerLine, std::int64_t{1} << 32);
    controller().addServiceButton();
    EXPECT_EQ(shortcutButtonLine, 2) << "read as 32 bits, 2^32 is 0";
}

TEST_F(ShortcutButtons, CommandCPostsCommandDownCDownCUpCommandUp) {
    const ProcessId front = frontApplication();
    click("Copy\tchar\tc\tcommand\n", "Copy");
    EXPECT_EQ(events(),
              (std::vector<SimKeyboardEvent>{down(55, front), down(8, front), up(8, front), up(55, front)}));
    EXPECT_FALSE(desktop.window.isVisible());
    EXPECT_FALSE(controller().checkMouseTimer);
}

TEST_F(ShortcutButtons, ModifiersGoDownAndComeUpInTheSameFixedOrder) {
    const ProcessId front = frontApplication();
    click("Alt\tchar\tz\toption\tshift\n", "Alt");
    EXPECT_EQ(events(), (std::vector<SimKeyboardEvent>{down(56, front), down(58, front), down(6, front),
                                                       up(6, front), up(56, front), up(58, front)}));
}

TEST_F(ShortcutButtons, KeyCodesAreReadAsTheirLeadingNumberLow16Bits) {
    const ProcessId front = frontApplication();
    click("Return\tkeyCode\t 36\n", "Return");
    click("Wide\tkeyCode\t65572xyz\n", "Wide");
    click("Text\tkeyCode\tReturn\n", "Text");
    EXPECT_EQ(events(), (std::vector<SimKeyboardEvent>{down(36, front), up(36, front), down(36, front),
                                                       up(36, front), down(0, front), up(0, front)}));
}

TEST_F(ShortcutButtons, AnUntypableCharacterOrUnknownTypePostsOnlyTheModifiers) {
    const ProcessId front = frontApplication();
    click("Upper\tchar\tC\tcontrol\n", "Upper");
    EXPECT_FALSE(desktop.window.isVisible()) << "the flags still apply";
    click("Odd\tCHAR\tc\tcommand\n", "Odd");
    EXPECT_EQ(events(), (std::vector<SimKeyboardEvent>{down(59, front), up(59, front), down(55, front),
                                                       up(55, front)}));
}

TEST_F(ShortcutButtons, WithoutAnApplicationElementTheClickBeepsAndChangesNothing) {
    click("Copy\tchar\tc\tcommand\tShowShortcutOnly\tStopAutoHideWindow\n", "Copy");
    EXPECT_EQ(desktop.appServices.beepCount, 1);
    EXPECT_TRUE(events().empty());
    EXPECT_TRUE(desktop.window.isVisible());
    EXPECT_TRUE(controller().checkMouseTimer);
    EXPECT_FALSE(controller().isStopAutoHideWindow);
}

TEST_F(ShortcutButtons, ALineWithoutAValueIsAbandoned) {
    frontApplication();
    click("Two\tkeyCode\tcommand\n", "Two"); // three fields: "command" is the value, not a modifier
    click("Bare\tkeyCode\n", "Bare");
    EXPECT_TRUE(desktop.window.isVisible()) << "the two-field click changed nothing";
    EXPECT_TRUE(controller().checkMouseTimer);
    ASSERT_EQ(events().size(), 4u) << "only the three-field line posted";
    EXPECT_EQ(events()[0].virtualKey, 55) << "the value counts as a word";
    EXPECT_EQ(events()[1].virtualKey, 0) << "and reads as key code 0";
    EXPECT_EQ(desktop.appServices.beepCount, 0);
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

TEST_F(ShortcutButtons, StopAutoHideWindowPinsThePalette) {
    frontApplication();
    click("Pin\tkeyCode\t49\tDontHideWindow\tStopAutoHideWindow\n", "Pin");
    EXPECT_TRUE(desktop.window.isVisible());
    EXPECT_TRUE(controller().isStopAutoHideWindow);
    EXPECT_FALSE(controller().checkMouseTimer);
}

TEST_F(ShortcutButtons, AServiceLineInvokesTheServiceInTheTargetIgnoringModifiers) {
    frontApplication();
    target("TextEdit", {"Spelling", "Make Sticky"});
    click("Spell\tservice\tSpelling\tcommand\tShowShortcutOnly\n", "Spell");
    EXPECT_EQ(pressedServices(), (Titles{"AXPress Spelling"}))
        << "in the target, not in the application in front";
    EXPECT_TRUE(events().empty());
    EXPECT_FALSE(desktop.window.isVisible());
    EXPECT_EQ(contentHeight(), 32) << "flags apply after a service, even when it hides";

    click("Missing\tservice\tNo Such Item\tDontHideWindow\n", "Missing");
    EXPECT_EQ(desktop.appServices.beepCount, 1);
    EXPECT_TRUE(desktop.window.isVisible()) << "the flags apply even when the item cannot be found";
}

} // namespace
} // namespace quoddle
