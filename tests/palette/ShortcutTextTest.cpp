// The shortcut text's rules for lines and words. Its grid, its keys and its buttons' clicks (a label and a
// type make a button, a comment takes a slot) are PaletteButtonsTest's, on the simulated desktop; the split
// on tab runs is RegexTest's.
#include "palette/ShortcutText.h"

#include <gtest/gtest.h>

namespace quoddle {
namespace {

TEST(ShortcutText, ALineNeedsALabelAndATypeItsWordsCountWhereverTheyStandAndServicesAreWithheld) {
    EXPECT_FALSE(makesShortcutButton(shortcutFieldsOfLine("\tlead\tchar")));
    EXPECT_FALSE(makesShortcutButton(shortcutFieldsOfLine("label only\t")));
    EXPECT_FALSE(isShortcutCommentLine(" #x"));
    // The label and the value are words too; modifiers come in a fixed order.
    EXPECT_EQ(shortcutModifierKeyCodes({"shift", "char", "command", "control", "option", "shift"}),
              (std::vector<std::uint16_t>{55, 56, 59, 58}));
    EXPECT_TRUE(shortcutLineHasWord({"DontHideWindow", "char", "a"}, kDontHideWindowWord));
    // Every service value is withheld from the picks, even without a label.
    EXPECT_EQ(shortcutServiceNames("A\tservice\tOne\n\tservice\tTwo\n#B\tservice\tThree\nC\tservice\n"),
              (std::vector<std::string>{"One", "Two"}));
}

} // namespace
} // namespace quoddle
