#include "Library/RegexAdditions.h"

#include <gtest/gtest.h>
#include <unicode/ustring.h>

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

template <typename Exception> std::string messageOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const Exception& error) {
        return error.what();
    }
    return "(nothing thrown)";
}

bool isValidUtf8(const std::string& text) {
    UErrorCode status = U_ZERO_ERROR;
    std::int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, text.data(), static_cast<std::int32_t>(text.size()), &status);
    return status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status);
}

TEST(ComponentsSeparatedByRegex, TabRunsSeparateFieldsAndTrailingTabsGiveNoPieces) {
    const struct {
        std::string text;
        Pieces pieces;
    } cases[] = {
        {"a\tb", {"a", "b"}},
        {"a\t\t\tb", {"a", "b"}},
        {"\ta\tb", {"", "a", "b"}},
        {"a\tb\t", {"a", "b"}},
        {"a\tb\t\t", {"a", "b"}},
        {"a", {"a"}},
        {"a b", {"a b"}},
        {"", {}},
        {"\t", {}},
        {"\t\t", {}},
    };
    for (const auto& [text, pieces] : cases)
        EXPECT_EQ(componentsSeparatedByRegex(text, "\t+"), pieces) << text;
}

TEST(ComponentsSeparatedByRegex, ASingleTabKeepsInnerEmptyPieces) {
    EXPECT_EQ(componentsSeparatedByRegex("a\t\tb", "\t"), (Pieces{"a", "", "b"}));
    EXPECT_EQ(componentsSeparatedByRegex("\t\ta", "\t"), (Pieces{"", "", "a"}));
}

TEST(ComponentsSeparatedByRegex, GroupsAddOneItemEachAfterThePieceBeforeTheMatch) {
    EXPECT_EQ(componentsSeparatedByRegex("a,b", "(,)"), (Pieces{"a", ",", "b"}));
    // A group that took no part in the match gives an empty item.
    EXPECT_EQ(componentsSeparatedByRegex("a,b", ",(x)?"), (Pieces{"a", "", "b"}));
    EXPECT_EQ(componentsSeparatedByRegex("a;b,c", "(;)|(,)"), (Pieces{"a", ";", "", "b", "", ",", "c"}));
    // (x)? matches empty between every character: each character is a piece followed by its group item.
    EXPECT_EQ(componentsSeparatedByRegex("a,b", "(x)?"), (Pieces{"a", "", ",", "", "b", ""}));
}

TEST(ComponentsSeparatedByRegex, EmptyPiecesAtTheEndAreDroppedWithTheirGroupItems) {
    EXPECT_EQ(componentsSeparatedByRegex("a,,", "(,)"), (Pieces{"a", ","}));
    EXPECT_EQ(componentsSeparatedByRegex(",,", "(,)"), Pieces{});
    // Leading empty pieces and their group items stay once something follows.
    EXPECT_EQ(componentsSeparatedByRegex(",a", "(,)"), (Pieces{"", ",", "a"}));
}

TEST(ComponentsSeparatedByRegex, EmptyMatchesWherePiecesBeginAreSkipped) {
    EXPECT_EQ(componentsSeparatedByRegex("abc", "x*"), (Pieces{"a", "b", "c"}));
    EXPECT_EQ(componentsSeparatedByRegex("xax", "x*"), (Pieces{"", "a"}));
    EXPECT_EQ(componentsSeparatedByRegex("", "x*"), Pieces{});
}

TEST(StringByMatching, TheTwoBlockPatternNeedsBothBlocksOnOneLine) {
    const std::string first = "{length = 24, bytes = 0x0a0b}";
    const std::string second = "{length = 24, bytes = 0x0c0d}";
    const std::string oneLine = "start " + first + " end " + second;
    EXPECT_EQ(stringByMatching(oneLine, kTwoBlocks, 1), first);
    EXPECT_EQ(stringByMatching(oneLine, kTwoBlocks, 2), second);
    EXPECT_EQ(stringByMatching(oneLine, kTwoBlocks, 0), first + " end " + second);

    const std::string third = "{length = 2, bytes = 0xff}";
    EXPECT_EQ(stringByMatching(oneLine + " " + third, kTwoBlocks, 2), third)
        << "the greedy .* reaches the last";

    for (const std::string& text :
         {"start " + first + " end", first + "\n" + second, first + "\r" + second}) {
        EXPECT_EQ(stringByMatching(text, kTwoBlocks, 1), std::nullopt) << text;
        EXPECT_EQ(stringByMatching(text, kTwoBlocks, 2), std::nullopt) << text;
    }
}

TEST(StringByMatching, AGroupThatTookNoPartIsNoneAndAnEmptyOneIsEmpty) {
    EXPECT_EQ(stringByMatching("ab", "a(x)?(y*)b", 1), std::nullopt);
    EXPECT_EQ(stringByMatching("ab", "a(x)?(y*)b", 2), "");
    EXPECT_EQ(stringByMatching("cab", "a(x)?(y*)b", 0), "ab");
    EXPECT_EQ(stringByMatching("nothing", "a(x)?(y*)b", 0), std::nullopt);
}

TEST(StringByMatching, ACaptureOutsideThePatternsGroupsThrows) {
    const std::string text = "{length = 1, bytes = 0x01} {length = 1, bytes = 0x02}";
    for (int capture : {3, -1})
        EXPECT_EQ(messageOf<std::invalid_argument>([&] { stringByMatching(text, kTwoBlocks, capture); }),
                  "The capture argument is not valid.");
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { stringByMatching("abc", "b", 1); }),
              "The capture argument is not valid.")
        << "thrown even when nothing would match the group";
    EXPECT_EQ(stringByMatching(text, kTwoBlocks, 2), "{length = 1, bytes = 0x02}") << "the lock was released";
}

TEST(RegexAdditions, APatternThatDoesNotCompileGivesNoneAndThrowsNothing) {
    for (const char* pattern : {"(", "[a-", "a{2,1}", ""}) {
        EXPECT_EQ(componentsSeparatedByRegex("a(b", pattern), std::nullopt) << pattern;
        EXPECT_EQ(stringByMatching("a(b", pattern, 5), std::nullopt) << pattern;
        EXPECT_FALSE(isMatchedByRegex("a(b", pattern)) << pattern;
    }
}

TEST(RegexAdditions, ANullPatternThrows) {
    const char* none = nullptr;
    const std::string message = "The regular expression argument is NULL.";
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { componentsSeparatedByRegex("a", none); }), message);
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { stringByMatching("a", none, 0); }), message);
    EXPECT_EQ(messageOf<std::invalid_argument>([&] { isMatchedByRegex("a", none); }), message);
}

TEST(IsMatchedByRegex, FindsAMatchAnywhereInTheText) {
    EXPECT_TRUE(isMatchedByRegex("cat", "a"));
    EXPECT_FALSE(isMatchedByRegex("", "a"));
    EXPECT_FALSE(isMatchedByRegex("CAT", "a")) << "case-sensitive";
    EXPECT_FALSE(isMatchedByRegex("x\ny", "^y")) << "^ does not match after a line break";
    EXPECT_TRUE(isMatchedByRegex("", "x*"));
}

TEST(RegexAdditions, AnErrorIcuReportsWhileMatchingCarriesItsCodeAndName) {
    const std::string text(1000000, 'a');
    EXPECT_THROW(isMatchedByRegex(text, "(a|b)*"), RegexError);
    try {
        stringByMatching(text, "(a|b)*", 1);
        ADD_FAILURE() << "a failed search was kept as an answer";
    } catch (const RegexError& error) {
        EXPECT_STREQ(error.what(), "ICU regular expression error #66321, U_REGEX_STACK_OVERFLOW.");
        EXPECT_EQ(error.errorCode(), U_REGEX_STACK_OVERFLOW);
        EXPECT_EQ(error.errorName(), "U_REGEX_STACK_OVERFLOW");
        EXPECT_EQ(error.regex(), "(a|b)*");
        EXPECT_EQ(error.regexOptions(), 0u);
        // The lock is released before the exception leaves, so a handler may match again.
        EXPECT_EQ(stringByMatching("ab", "(a|b)*", 1), "b");
    }
}

TEST(RegexAdditions, PositionsCountUtf16UnitsAndNeverCutACharacter) {
    const std::string face = "\xF0\x9F\x98\x80"; // U+1F600, two UTF-16 units
    EXPECT_EQ(componentsSeparatedByRegex(face + "\tb\t\t" + face + "x", "\t+"),
              (Pieces{face, "b", face + "x"}));
    EXPECT_EQ(componentsSeparatedByRegex("a" + face + "b", "x*"), (Pieces{"a", face, "b"}));
    EXPECT_EQ(stringByMatching(face + "\xC3\xA9", "(.)(.)", 1), face);
    EXPECT_EQ(stringByMatching(face + "\xC3\xA9", "(.)(.)", 2), "\xC3\xA9");
    EXPECT_TRUE(isMatchedByRegex(face, "^.$"));
}

TEST(RegexAdditions, InvalidUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(componentsSeparatedByRegex("a\xFF\tb", "\t+"), (Pieces{"a" + kReplacement, "b"}));
    EXPECT_EQ(componentsSeparatedByRegex("\xE2\x82\tz", "\t+"), (Pieces{kReplacement, "z"}));
    const auto pieces = componentsSeparatedByRegex("\xED\xA0\x80\t\xC0\xAF\t\x80\xF4\x90\x80\x80", "\t+");
    ASSERT_TRUE(pieces);
    ASSERT_EQ(pieces->size(), 3u);
    for (const std::string& piece : *pieces)
        EXPECT_TRUE(isValidUtf8(piece) && !piece.empty());

    const std::string blocks = "{length = 1, bytes = 0x0a}\xFF{length = 2, bytes = 0x0b}";
    EXPECT_EQ(stringByMatching(blocks, kTwoBlocks, 2), "{length = 2, bytes = 0x0b}");
    EXPECT_TRUE(isMatchedByRegex("a\xFF", "\xEF\xBF\xBD$"));
}

TEST(RegexCache, TwoCapturesOfOneTextReadOneMatch) {
    const std::string text = "x {length = 7, bytes = 0x70} y {length = 8, bytes = 0x80}";
    const std::string other = "{length = 9, bytes = 0x90} {length = 9, bytes = 0x91}";
    stringByMatching("warm the cache", kTwoBlocks, 1);
    const auto before = regex_detail::counters();
    EXPECT_EQ(stringByMatching(text, kTwoBlocks, 1), "{length = 7, bytes = 0x70}");
    EXPECT_EQ(stringByMatching(text, kTwoBlocks, 2), "{length = 8, bytes = 0x80}");
    EXPECT_TRUE(isMatchedByRegex(text, kTwoBlocks));
    auto after = regex_detail::counters();
    EXPECT_EQ(after.compiles - before.compiles, 0u);
    EXPECT_EQ(after.conversions - before.conversions, 1u);
    EXPECT_EQ(after.searches - before.searches, 1u);

    EXPECT_EQ(stringByMatching(other, kTwoBlocks, 1), "{length = 9, bytes = 0x90}");
    EXPECT_EQ(stringByMatching(text, kTwoBlocks, 2), "{length = 8, bytes = 0x80}");
    after = regex_detail::counters();
    EXPECT_EQ(after.conversions - before.conversions, 3u) << "only the last text is kept";
    EXPECT_EQ(after.searches - before.searches, 3u);
}

TEST(RegexCache, ATextOfTheSameLengthIsTakenUpAfresh) {
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(componentsSeparatedByRegex("a\tb", "\t+"), (Pieces{"a", "b"}));
        EXPECT_EQ(componentsSeparatedByRegex("c\td", "\t+"), (Pieces{"c", "d"}));
        EXPECT_EQ(stringByMatching("ab", "(.)", 1), "a");
        EXPECT_EQ(stringByMatching("cd", "(.)", 1), "c");
    }
    const auto before = regex_detail::counters();
    componentsSeparatedByRegex("c\td", "\t+");
    EXPECT_EQ(regex_detail::counters().conversions, before.conversions)
        << "the same text is not converted again";
}

TEST(RegexCache, APatternInUseSurvivesManyOthersAndAnIdleOneIsReplaced) {
    const std::string busy = "busy-[0-9]+";
    EXPECT_TRUE(isMatchedByRegex("busy-1", busy));
    auto before = regex_detail::counters();
    for (int i = 0; i < 200; ++i) {
        EXPECT_TRUE(isMatchedByRegex("other " + std::to_string(i), "other " + std::to_string(i)));
        EXPECT_TRUE(isMatchedByRegex("busy-" + std::to_string(i), busy));
    }
    EXPECT_EQ(regex_detail::counters().compiles - before.compiles, 200u)
        << "the busy pattern stayed compiled";

    const std::string idle = "idle-[0-9]+";
    EXPECT_TRUE(isMatchedByRegex("idle-1", idle));
    before = regex_detail::counters();
    EXPECT_TRUE(isMatchedByRegex("idle-2", idle));
    EXPECT_EQ(regex_detail::counters().compiles, before.compiles);
    for (int i = 0; i < 200; ++i)
        isMatchedByRegex("x", "crowd " + std::to_string(i));
    before = regex_detail::counters();
    EXPECT_TRUE(isMatchedByRegex("idle-3", idle));
    EXPECT_EQ(regex_detail::counters().compiles - before.compiles, 1u)
        << "52 entries cannot hold 201 patterns";
}

TEST(RegexCache, APatternThatFailsIsCompiledAgainEachTime) {
    const auto before = regex_detail::counters();
    EXPECT_FALSE(isMatchedByRegex("(", "("));
    EXPECT_FALSE(isMatchedByRegex("(", "("));
    EXPECT_EQ(regex_detail::counters().compiles - before.compiles, 2u);
}

TEST(RegexAdditions, ThreadsSplittingAndCapturingAtOnceEachGetTheirOwnResults) {
    std::atomic<int> wrong = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &wrong] {
            for (int i = 0; i < 300; ++i) {
                const std::string id = std::to_string(t) + "-" + std::to_string(i);
                if (componentsSeparatedByRegex("App" + id + "\t" + id + "\t\tTitle", "\t+") !=
                    Pieces{"App" + id, id, "Title"})
                    ++wrong;
                const std::string block =
                    "{length = " + std::to_string(i) + ", bytes = 0x" + id.substr(0, 1) + "}";
                if (stringByMatching(block + " " + id + " " + block, kTwoBlocks, 2) != block) ++wrong;
                if (!isMatchedByRegex(id, std::to_string(t) + "-")) ++wrong;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

} // namespace
} // namespace quoddle
