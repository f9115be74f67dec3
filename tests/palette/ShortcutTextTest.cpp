#include "Library/TextLines.h"
#include "palette/ShortcutText.h"
#include "GeometryPrinters.h"

#include <gtest/gtest.h>

#include <limits>

namespace quoddle {
namespace {

using Fields = std::vector<std::string>;

std::vector<Point> origins(const ShortcutLayout& layout) {
    std::vector<Point> result;
    for (const ShortcutButtonPlan& plan : layout.buttons)
        result.push_back(plan.frame.origin);
    return result;
}

std::string definitions(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "B" + std::to_string(i) + "\tchar\tc\n";
    return text;
}

TEST(TextLines, EveryCarriageReturnAndLineFeedCutsALine) {
    auto lines = [](std::string_view text) {
        Fields result;
        forEachLineOfText(text, [&](std::string_view line) { result.emplace_back(line); });
        return result;
    };
    EXPECT_EQ(lines("a\r\nb"), (Fields{"a", "", "b"}));
    EXPECT_EQ(lines("a\rb\n"), (Fields{"a", "b"}));
    EXPECT_EQ(lines("\n\nc"), (Fields{"", "", "c"}));
    EXPECT_EQ(lines(""), (Fields{}));
}

TEST(ShortcutTextFields, RunsOfTabsSeparateAndOnlyALabelledLineMakesAButton) {
    EXPECT_EQ(shortcutFieldsOfLine("Copy\t\t\tchar\tc\tcommand"), (Fields{"Copy", "char", "c", "command"}));
    EXPECT_EQ(shortcutFieldsOfLine("\tchar\tc"), (Fields{"", "char", "c"}));
    EXPECT_EQ(shortcutFieldsOfLine("Label\t\t"), (Fields{"Label"}));
    EXPECT_TRUE(shortcutFieldsOfLine("").empty());

    EXPECT_TRUE(makesShortcutButton({"Copy", "char"}));
    EXPECT_FALSE(makesShortcutButton({"", "char", "c"})) << "a line that begins with a tab";
    EXPECT_FALSE(makesShortcutButton({"Label"}));
    EXPECT_TRUE(isShortcutCommentLine("# note"));
    EXPECT_FALSE(isShortcutCommentLine(" # note")) << "blanks before the # make no comment";
}

TEST(ShortcutTextWords, ModifiersComeInFixedOrderWhereverTheyStand) {
    EXPECT_EQ(shortcutModifierKeyCodes({"X", "char", "x", "option", "shift"}),
              (std::vector<std::uint16_t>{56, 58}));
    EXPECT_EQ(shortcutModifierKeyCodes({"command", "char", "control", "option", "shift", "command"}),
              (std::vector<std::uint16_t>{55, 56, 59, 58}))
        << "the label counts too, and repetition changes nothing";
    EXPECT_TRUE(shortcutModifierKeyCodes({"X", "char", "Command"}).empty()) << "case matters";
    EXPECT_TRUE(shortcutLineHasWord({"A", "keyCode", "36", "DontHideWindow"}, kDontHideWindowWord));
}

TEST(ShortcutTextServices, EveryServiceValueIsWithheldEvenWithoutALabel) {
    const std::string text = "Spell\tservice\tSpelling\n"
                             "\tservice\tNo Label\n"
                             "#C\tservice\tCommented\n"
                             "Short\tservice\n"
                             "Copy\tchar\tc\n";
    EXPECT_EQ(shortcutServiceNames(text), (Fields{"Spelling", "No Label"}));
}

TEST(ShortcutLayout, ACommentLineLeavesAGapInTheGrid) {
    const std::string text = "A\tchar\ta\nB\tchar\tb\nC\tchar\tc\n# gap\nD\tchar\td\n";
    ShortcutLayout layout = layOutShortcutText(text, 4, 180);
    EXPECT_EQ(origins(layout), (std::vector<Point>{{6, 6}, {49, 6}, {92, 6}, {6, 32}}));
    EXPECT_EQ(layout.slots, 5);
    EXPECT_EQ(layout.lines, 2);
    EXPECT_EQ(layout.buttons.front().frame.size, (Size{37, 20})) << "(180 - 6) / 4 - 6 = 37.5, truncated";
}

TEST(ShortcutLayout, CarriageReturnLineFeedLaysOutLikeLineFeed) {
    const std::string lf = "A\tchar\ta\n# c\n\tchar\tx\nB\tchar\tb\tcommand\nC\tkeyCode\t36\n";
    std::string crlf;
    for (char c : lf)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    ShortcutLayout a = layOutShortcutText(lf, 4, 180), b = layOutShortcutText(crlf, 4, 180);
    EXPECT_EQ(origins(a), origins(b));
    EXPECT_EQ(a.lines, b.lines);
    ASSERT_EQ(b.buttons.size(), 3u);
    EXPECT_EQ(b.buttons[1].fields, (Fields{"B", "char", "b", "command"}));
}

TEST(ShortcutLayout, RowsRoundUp) {
    EXPECT_EQ(layOutShortcutText(definitions(8), 4, 180).lines, 2);
    EXPECT_EQ(layOutShortcutText(definitions(9), 4, 180).lines, 3);
    ShortcutLayout nine = layOutShortcutText(definitions(9), 4, 180);
    EXPECT_EQ(nine.buttons.back().frame.origin, (Point{6, 58}));
    EXPECT_EQ(layOutShortcutText("", 4, 180).lines, 0);
    EXPECT_EQ(layOutShortcutText("only a label\n\n", 4, 180).slots, 0);
}

TEST(ShortcutLayout, HostileCountsAndWidthsStayFinite) {
    ShortcutLayout zero = layOutShortcutText(definitions(3), 0, 180);
    EXPECT_EQ(zero.lines, 3) << "fewer than one per line counts as one";
    EXPECT_EQ(zero.buttons[2].frame, (Rect{{6, 58}, {168, 20}}));
    EXPECT_EQ(layOutShortcutText(definitions(3), -7, 180).lines, 3);

    ShortcutLayout many = layOutShortcutText(definitions(3), std::numeric_limits<std::int32_t>::max(), 180);
    EXPECT_EQ(many.lines, 1);
    EXPECT_EQ(many.buttons[2].frame.origin.y, 6);

    ShortcutLayout huge = layOutShortcutText(definitions(5), 4, 1e300);
    EXPECT_EQ(huge.buttons[4].frame.size.width, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(huge.buttons[3].frame.origin.x, 3.0 * (2147483647.0 + 6) + 6);
    ShortcutLayout nan = layOutShortcutText(definitions(1), 4, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(nan.buttons[0].frame.size.width, 0);
}

} // namespace
} // namespace quoddle
