// The shortcut text: its lines, fields, words and grid.
#include "palette/ShortcutText.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quoddle {
namespace {

using Fields = std::vector<std::string>;

TEST(ShortcutText, FieldsAreSplitOnTabRunsAndWordsCountWhereverTheyStand) {
    EXPECT_EQ(shortcutFieldsOfLine("Copy\t\tchar\tc\tcommand"), (Fields{"Copy", "char", "c", "command"}));
    EXPECT_EQ(shortcutFieldsOfLine("\tlead"), (Fields{"", "lead"}));
    EXPECT_EQ(shortcutFieldsOfLine("tail\t\t"), (Fields{"tail"}));
    EXPECT_FALSE(makesShortcutButton(shortcutFieldsOfLine("\tlead")));
    EXPECT_FALSE(makesShortcutButton(shortcutFieldsOfLine("label only\t")));
    EXPECT_TRUE(makesShortcutButton(shortcutFieldsOfLine("A\tchar")));
    EXPECT_TRUE(isShortcutCommentLine("#x"));
    EXPECT_FALSE(isShortcutCommentLine(" #x"));
    // The label and the value are words too; modifiers come in a fixed order.
    const Fields fields{"shift", "char", "command", "option", "shift"};
    EXPECT_EQ(shortcutModifierKeyCodes(fields), (std::vector<std::uint16_t>{55, 56, 58}));
    EXPECT_TRUE(shortcutLineHasWord({"DontHideWindow", "char", "a"}, kDontHideWindowWord));
}

TEST(ShortcutText, EveryServiceValueIsWithheldEvenWithoutALabel) {
    EXPECT_EQ(shortcutServiceNames("A\tservice\tOne\n\tservice\tTwo\n#B\tservice\tThree\nC\tservice\n"),
              (Fields{"One", "Two"}));
}

TEST(ShortcutText, TheGridHasCommentGapsAndRoundsItsRowsUp) {
    const ShortcutLayout layout =
        layOutShortcutText("A\tchar\ta\nB\tchar\tb\nC\tchar\tc\n#\nD\tchar\td\n", 4, 180);
    ASSERT_EQ(layout.buttons.size(), 4u);
    EXPECT_EQ(layout.buttons[3].frame, (Rect{{6, 32}, {37, 20}}));
    EXPECT_EQ(layout.slots, 5);
    EXPECT_EQ(layout.lines, 2);
    EXPECT_EQ(layOutShortcutText("A\tchar\r\nB\tchar\r\n", 4, 180).buttons.size(), 2u);
    EXPECT_EQ(layOutShortcutText("", 4, 180).lines, 0);
}

TEST(ShortcutText, HostileCountsAndWidthsStayFinite) {
    for (double width : {0.0, -1e300, 1e300, std::nan("")})
        for (std::int32_t perLine : {0, -5, 1, 1 << 30}) {
            const ShortcutLayout layout = layOutShortcutText("A\tchar\tc\nB\tchar\td\n", perLine, width);
            for (const ShortcutButtonPlan& plan : layout.buttons) {
                EXPECT_TRUE(std::isfinite(plan.frame.origin.x));
                EXPECT_TRUE(std::isfinite(plan.frame.size.width));
            }
        }
}

} // namespace
} // namespace quoddle
