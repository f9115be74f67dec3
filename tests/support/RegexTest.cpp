// Splitting on a pattern and reading a group of the first match, over ICU.
#include "support/Regex.h"

#include <gtest/gtest.h>

#include <thread>

namespace quoddle {
namespace {

using Pieces = std::vector<std::string>;

const std::string kFace = "\xF0\x9F\x98\x80"; // U+1F600, two UTF-16 units

TEST(Regex, SplitsIntoPiecesWithGroupItemsAndDropsEmptiesAtTheEnd) {
    const struct {
        std::string text, pattern;
        Pieces pieces;
    } cases[] = {
        {"a\t\t\tb", "\t+", {"a", "b"}},
        {"\ta\tb\t", "\t+", {"", "a", "b"}},
        {"", "\t+", {}},
        {"\t", "\t+", {}},
        {"a\t\tb", "\t", {"a", "", "b"}},
        // Each match adds the piece before it, then one item per group (empty if the group took no part).
        {"a,b", ",(x)?", {"a", "", "b"}},
        {"a,,", "(,)", {"a", ","}},
        // An empty match where a piece begins is skipped, and a non-BMP character is never cut.
        {"a" + kFace + "b", "x*", {"a", kFace, "b"}},
        {"a\xFF\tb", "\t+", {"a\xEF\xBF\xBD", "b"}},
    };
    for (const auto& [text, pattern, pieces] : cases)
        EXPECT_EQ(splitByPattern(text, pattern), pieces) << text << " on " << pattern;
}

// What the text-marker range pattern makes of real descriptions is PaletteOpeningTest's.
TEST(Regex, AGroupOfTheFirstMatchIsReadAsItMatchedAndMisuseThrows) {
    EXPECT_EQ(firstMatchGroup("ab", "a(x)?(y*)b", 1), std::nullopt) << "a group that took no part";
    EXPECT_EQ(firstMatchGroup("ab", "a(x)?(y*)b", 2), "") << "a group that matched nothing";
    EXPECT_EQ(firstMatchGroup(kFace + "\xC3\xA9", "(.)(.)", 1), kFace);
    EXPECT_THROW(firstMatchGroup("xyz", "b", 1), std::invalid_argument)
        << "even when the text does not match";
    EXPECT_THROW(firstMatchGroup("xyz", "(b)", -1), std::invalid_argument);
    for (const char* pattern : {"(", "[a-", "a{2,1}", ""}) {
        EXPECT_EQ(splitByPattern("a(b", pattern), std::nullopt) << pattern;
        EXPECT_EQ(firstMatchGroup("a(b", pattern, 5), std::nullopt) << pattern;
    }
    // An error ICU reports while matching is thrown, not taken as an answer, and the lock is released.
    try {
        firstMatchGroup(std::string(1000000, 'a'), "(a|b)*", 1);
        ADD_FAILURE() << "nothing thrown";
    } catch (const RegexError& error) {
        EXPECT_STREQ(error.what(), "ICU regular expression error #66321, U_REGEX_STACK_OVERFLOW.");
    }
    EXPECT_EQ(firstMatchGroup("ab", "(a|b)*", 1), "b");
}

TEST(Regex, ThreadsMatchingAtOnceEachGetTheirOwnResults) {
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &wrong] {
            const std::string text = std::to_string(t) + "\t" + std::to_string(t * 7);
            for (int i = 0; i < 2000; ++i)
                if (splitByPattern(text, i % 2 ? "\t+" : "\t") !=
                    Pieces{std::to_string(t), std::to_string(t * 7)})
                    ++wrong;
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

} // namespace
} // namespace quoddle
