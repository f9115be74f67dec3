#include "Library/RegexAdditions.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace quoddle {
namespace {

using Pieces = std::vector<std::string>;

const char* const kTwoBlocks =
    "(\\{length = [0-9]+, bytes = 0x[0-9a-zA-Z]+\\}).*(\\{length = [0-9]+, bytes = 0x[0-9a-zA-Z]+\\})";
const std::string kReplacement = "\xEF\xBF\xBD"; // U+FFFD in UTF-8
const std::string kFace = "\xF0\x9F\x98\x80";    // U+1F600, two UTF-16 units

template <typename Exception> std::string messageOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const Exception& error) {
        return error.what();
    }
    return "(nothing thrown)";
}

TEST(ComponentsSeparatedByRegex, SplitsIntoPiecesWithGroupItemsAndDropsEmptiesAtTheEnd) {
    const struct {
        std::string text;
        std::string pattern;
        Pieces pieces;
    } cases[] = {
        {"a\tb", "\t+", {"a", "b"}},
        {"a\t\t\tb", "\t+", {"a", "b"}},
        {"\ta\tb", "\t+", {"", "a", "b"}},
        {"a\tb\t", "\t+", {"a", "b"}},
        {"a", "\t+", {"a"}},
        {"a b", "\t+", {"a b"}},
        {"", "\t+", {}},
        {"\t", "\t+", {}},
        {"a\t\tb", "\t", {"a", "", "b"}},
        // Each match adds the piece before it, then one item per group (empty if the group took no part).
        {"a,b", "(,)", {"a", ",", "b"}},
        {"a,b", ",(x)?", {"a", "", "b"}},
        {"a,,", "(,)", {"a", ","}},
        // An empty match where a piece begins is skipped.
        {"abc", "x*", {"a", "b", "c"}},
        // Positions count UTF-16 units, so a non-BMP character is never cut.
        {kFace + "\tb\t\t" + kFace + "x", "\t+", {kFace, "b", kFace + "x"}},
        {"a" + kFace + "b", "x*", {"a", kFace, "b"}},
        {"a\xFF\tb", "\t+", {"a" + kReplacement, "b"}},
    };
    for (const auto& [text, pattern, pieces] : cases)
        EXPECT_EQ(componentsSeparatedByRegex(text, pattern), pieces) << text << " on " << pattern;
}

TEST(StringByMatching, TheTwoBlockPatternNeedsBothBlocksOnOneLine) {
    const std::string first = "{length = 24, bytes = 0x0a0b}";
    const std::string second = "{length = 24, bytes = 0x0c0d}";
    const std::string oneLine = "start " + first + " end " + second;
    EXPECT_EQ(stringByMatching(oneLine, kTwoBlocks, 1), first);
    EXPECT_EQ(stringByMatching(oneLine, kTwoBlocks, 2), second);
    EXPECT_EQ(stringByMatching(oneLine, kTwoBlocks, 0), first + " end " + second);
    for (const std::string& text : {"start " + first + " end", first + "\n" + second, first + "\r" + second})
        EXPECT_EQ(stringByMatching(text, kTwoBlocks, 1), std::nullopt) << text;

    // A group that took no part is none; one that matched nothing is empty.
    EXPECT_EQ(stringByMatching("ab", "a(x)?(y*)b", 1), std::nullopt);
    EXPECT_EQ(stringByMatching("ab", "a(x)?(y*)b", 2), "");
    EXPECT_EQ(stringByMatching(kFace + "\xC3\xA9", "(.)(.)", 1), kFace);
    EXPECT_EQ(stringByMatching(kFace + "\xC3\xA9", "(.)(.)", 2), "\xC3\xA9");
    EXPECT_EQ(stringByMatching("{length = 1, bytes = 0x0a}\xFF{length = 2, bytes = 0x0b}", kTwoBlocks, 2),
              "{length = 2, bytes = 0x0b}");
}

TEST(RegexAdditions, MisuseThrowsAndAPatternThatDoesNotCompileGivesNone) {
    const std::string blocks = "{length = 1, bytes = 0x01} {length = 1, bytes = 0x02}";
    const std::string badCapture = "The capture argument is not valid.";
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { stringByMatching(blocks, kTwoBlocks, 3); }), badCapture);
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { stringByMatching(blocks, kTwoBlocks, -1); }),
              badCapture);
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { stringByMatching("xyz", "b", 1); }), badCapture)
        << "thrown even when the text does not match";
    EXPECT_EQ(stringByMatching(blocks, kTwoBlocks, 2), "{length = 1, bytes = 0x02}")
        << "the lock was released";

    const char* none = nullptr;
    const std::string nullPattern = "The regular expression argument is NULL.";
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { componentsSeparatedByRegex("a", none); }), nullPattern);
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { stringByMatching("a", none, 0); }), nullPattern);
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { isMatchedByRegex("a", none); }), nullPattern);

    for (const char* pattern : {"(", "[a-", "a{2,1}", ""}) {
        EXPECT_EQ(componentsSeparatedByRegex("a(b", pattern), std::nullopt) << pattern;
        EXPECT_EQ(stringByMatching("a(b", pattern, 5), std::nullopt) << pattern;
        EXPECT_FALSE(isMatchedByRegex("a(b", pattern)) << pattern;
    }
}

TEST(IsMatchedByRegex, FindsAMatchAnywhereInTheText) {
    EXPECT_TRUE(isMatchedByRegex("cat", "a"));
    EXPECT_FALSE(isMatchedByRegex("CAT", "a")) << "case-sensitive";
    EXPECT_FALSE(isMatchedByRegex("x\ny", "^y")) << "^ does not match after a line break";
    EXPECT_TRUE(isMatchedByRegex(kFace, "^.$"));
    EXPECT_TRUE(isMatchedByRegex("a\xFF", "\xEF\xBF\xBD$"));
}

TEST(RegexAdditions, AnErrorIcuReportsWhileMatchingIsThrownNotTakenAsAnAnswer) {
    const std::string text(1000000, 'a');
    EXPECT_THROW(isMatchedByRegex(text, "(a|b)*"), RegexError);
    EXPECT_EQ(messageOf<RegexError>([&] { stringByMatching(text, "(a|b)*", 1); }),
              "ICU regular expression error #66321, U_REGEX_STACK_OVERFLOW.");
    EXPECT_EQ(stringByMatching("ab", "(a|b)*", 1), "b") << "the lock was released";
}

// Compiles, conversions to UTF-16 and searches since `before`.
std::vector<std::uint64_t> workSince(const regex_detail::Counters& before) {
    const auto now = regex_detail::counters();
    return {now.compiles - before.compiles, now.conversions - before.conversions,
            now.searches - before.searches};
}

TEST(RegexCache, TwoCapturesOfOneTextReadOneMatchAndOnlyTheLastTextIsKept) {
    const std::string text = "x {length = 7, bytes = 0x70} y {length = 8, bytes = 0x80}";
    stringByMatching("warm the cache", kTwoBlocks, 1);
    const auto before = regex_detail::counters();
    EXPECT_EQ(stringByMatching(text, kTwoBlocks, 1), "{length = 7, bytes = 0x70}");
    EXPECT_EQ(stringByMatching(text, kTwoBlocks, 2), "{length = 8, bytes = 0x80}");
    EXPECT_TRUE(isMatchedByRegex(text, kTwoBlocks));
    EXPECT_EQ(workSince(before), (std::vector<std::uint64_t>{0, 1, 1}));
    isMatchedByRegex("{length = 9, bytes = 0x90} {length = 9, bytes = 0x91}", kTwoBlocks);
    EXPECT_EQ(stringByMatching(text, kTwoBlocks, 2), "{length = 8, bytes = 0x80}");
    EXPECT_EQ(workSince(before), (std::vector<std::uint64_t>{0, 3, 3}));

    EXPECT_EQ(stringByMatching("ab", "(.)", 1), "a");
    EXPECT_EQ(stringByMatching("cd", "(.)", 1), "c") << "a text of the same length is a different text";
}

TEST(RegexCache, APatternInUseSurvivesManyOthersAndAnIdleOneIsReplaced) {
    const std::string busy = "busy-[0-9]+";
    EXPECT_TRUE(isMatchedByRegex("idle-1", "idle-[0-9]+"));
    EXPECT_TRUE(isMatchedByRegex("busy-0", busy));
    auto before = regex_detail::counters();
    for (int i = 0; i < 200; ++i) {
        EXPECT_TRUE(isMatchedByRegex("other " + std::to_string(i), "other " + std::to_string(i)));
        EXPECT_TRUE(isMatchedByRegex("busy-" + std::to_string(i), busy));
    }
    EXPECT_EQ(workSince(before)[0], 200u) << "the busy pattern stayed compiled";
    before = regex_detail::counters();
    EXPECT_TRUE(isMatchedByRegex("idle-3", "idle-[0-9]+"));
    EXPECT_EQ(workSince(before)[0], 1u) << "the idle pattern was replaced";
}

TEST(RegexAdditions, ThreadsMatchingAtOnceEachGetTheirOwnResults) {
    std::atomic<int> wrong = 0;
    const auto work = [&wrong](int thread) {
        // Enough rounds that callers sharing one cached pattern unguarded would trip over each other.
        for (int i = 0; i < 10000; ++i) {
            const std::string id = std::to_string(thread) + "-" + std::to_string(i);
            if (componentsSeparatedByRegex(id + "\t\tTitle", "\t+") != Pieces{id, "Title"} ||
                stringByMatching(id + "\tTitle", "([^\t]+)\t(.*)", 1) != id)
                ++wrong;
        }
    };
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread)
        threads.emplace_back(work, thread);
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

} // namespace
} // namespace quoddle
