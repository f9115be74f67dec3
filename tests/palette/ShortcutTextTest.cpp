#include "palette/ShortcutText.h"
#include "GeometryPrinters.h"
#include "Library/TextLines.h"

#include <gtest/gtest.h>

#include <limits>

namespace quoddle {
namespace {

using Fields = std::vector<std::string>;

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

TEST(ShortcutTextServices, EveryServiceValueIsWithheldEvenWithoutALabel) {
    const std::string text = "Spell\tservice\tSpelling\n"
                             "\tservice\tNo Label\n"
                             "#C\tservice\tCommented\n"
                             "Short\tservice\n"
                             "Copy\tchar\tc\n";
    EXPECT_EQ(shortcutServiceNames(text), (Fields{"Spelling", "No Label"}));
}

TEST(ShortcutLayout, ACommentTakesASlotAndCarriageReturnLineFeedLaysOutLikeLineFeed) {
    // Runs of tabs separate fields; a nameless line and a label alone make no button and take no slot;
    // blanks before a # make no comment.
    const std::string lf =
        "A\tchar\ta\n# gap\n\tchar\tx\nB\t\t\tchar\tb\tcommand\n #\tchar\tc\nD\tchar\td\nOnly\t\n";
    std::string crlf;
    for (char c : lf)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& text : {lf, crlf}) {
        SCOPED_TRACE(text == lf ? "LF" : "CR LF");
        ShortcutLayout layout = layOutShortcutText(text, 4, 180);
        std::vector<Point> origins;
        for (const ShortcutButtonPlan& plan : layout.buttons)
            origins.push_back(plan.frame.origin);
        EXPECT_EQ(origins, (std::vector<Point>{{6, 6}, {92, 6}, {135, 6}, {6, 32}}));
        EXPECT_EQ(layout.slots, 5);
        EXPECT_EQ(layout.lines, 2);
        EXPECT_EQ(layout.buttons[1].fields, (Fields{"B", "char", "b", "command"}));
        EXPECT_EQ(layout.buttons[2].fields.front(), " #");
        EXPECT_EQ(layout.buttons[0].frame.size, (Size{37, 20})) << "(180 - 6) / 4 - 6 = 37.5, truncated";
    }
}

TEST(ShortcutLayout, HostileCountsAndWidthsStayFinite) {
    ShortcutLayout zero = layOutShortcutText(definitions(3), 0, 180);
    EXPECT_EQ(zero.lines, 3) << "fewer than one per line counts as one";
    EXPECT_EQ(zero.buttons[2].frame, (Rect{{6, 58}, {168, 20}}));
    EXPECT_EQ(layOutShortcutText(definitions(3), std::numeric_limits<std::int32_t>::max(), 180).lines, 1);

    ShortcutLayout huge = layOutShortcutText(definitions(5), 4, 1e300);
    EXPECT_EQ(huge.buttons[4].frame.size.width, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(huge.buttons[3].frame.origin.x, 3.0 * (2147483647.0 + 6) + 6);
    ShortcutLayout nan = layOutShortcutText(definitions(1), 4, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(nan.buttons[0].frame.size.width, 0);
}

} // namespace
} // namespace quoddle
