// The shortcut text's rules for lines and words. Its grid, its keys and its buttons' clicks are
// PaletteButtonsTest's, on the simulated desktop; the split on tab runs is RegexTest's.
#include "palette/ShortcutText.h"

#include <gtest/gtest.h>

namespace quoddle {
namespace {

using Fields = std::vector<std::string>;

TEST(ShortcutText, ALineNeedsALabelAndATypeAndItsWordsCountWhereverTheyStand) {
    EXPECT_FALSE(makesShortcutButton(shortcutFieldsOfLine("\tlead\tchar")));
    EXPECT_FALSE(makesShortcutButton(shortcutFieldsOfLine("label only\t")));
    EXPECT_TRUE(makesShortcutButton(shortcutFieldsOfLine("A\tchar")));
    EXPECT_TRUE(isShortcutCommentLine("#x"));
    EXPECT_FALSE(isShortcutCommentLine(" #x"));
    // The label and the value are words too; modifiers come in a fixed order.
    EXPECT_EQ(shortcutModifierKeyCodes({"shift", "char", "command", "control", "option", "shift"}),
              (std::vector<std::uint16_t>{55, 56, 59, 58}));
    EXPECT_TRUE(shortcutLineHasWord({"DontHideWindow", "char", "a"}, kDontHideWindowWord));
}

TEST(ShortcutText, EveryServiceValueIsWithheldEvenWithoutALabel) {
    EXPECT_EQ(shortcutServiceNames("A\tservice\tOne\n\tservice\tTwo\n#B\tservice\tThree\nC\tservice\n"),
              (Fields{"One", "Two"}));
}

} // namespace
} // namespace quoddle
