// "quoddle text": case, sorting and counts in ICU's default locale, over standard input that must be UTF-8
// of at most 16 MiB. How the command line reaches it is CommandLineTest's.
#include "cli/TextCommand.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

namespace quoddle {
namespace {

using enum TextOperation;

// ICU's default locale from here on; the process's own comes back at the end of the test.
class TextCommand : public ::testing::Test {
protected:
    static void useLocale(const icu::Locale& locale) {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(locale, status);
        ASSERT_TRUE(U_SUCCESS(status)) << locale.getName();
    }
    void TearDown() override { useLocale(previous_); }
    const icu::Locale previous_ = icu::Locale::getDefault();
};

// The status, standard output and standard error.
using Outcome = std::tuple<int, std::string, std::string>;

Outcome run(TextOperation operation, std::istream& in) {
    std::ostringstream out, err;
    const int status = runTextCommand(operation, in, out, err);
    return {status, out.str(), err.str()};
}

Outcome run(TextOperation operation, const std::string& input) {
    std::istringstream in(input);
    return run(operation, in);
}

void expectRefused(const Outcome& outcome, const std::string& message) {
    EXPECT_EQ(outcome, (Outcome{1, "", "quoddle text: " + message + "\n"}));
}

struct Transform {
    TextOperation operation;
    const char* locale;
    std::string input, output;
};

const Transform kTransforms[] = {
    // Full case mapping changes letters and nothing else, as the default locale maps them.
    {upper, "en_US", "straße\r\nǆ ﬁ ŉ\n", "STRASSE\r\nǄ FI ʼN\n"},
    {lower, "en_US", "ΟΔΟΣ, ΟΔΟΣ", "οδος, οδος"}, // final sigma where a word ends
    {upper, "en_US", std::string("a\0b\tc\r", 6), std::string("A\0B\tC\r", 6)},
    {upper, "en_US", "iı", "II"},
    {lower, "en_US", "I", "i"},
    {upper, "tr_TR", "iı", "İI"},
    {lower, "tr_TR", "Iİ", "ıi"},
    // Words, user-perceived characters (line breaks not counted) and lines.
    {count, "en_US", "", "0 words, 0 characters\n"},
    {count, "en_US", "a\n", "1 word, 1 character\n"},
    {count, "en_US", "\n\n", "0 words, 0 characters, 2 lines\n"},
    {count, "en_US", "one two\r\nthree\r\n", "3 words, 12 characters, 2 lines\n"},
    {count, "en_US", "a\rb", "2 words, 3 characters\n"}, // a lone CR is no line break
    {count, "en_US", "Hello, world! — …?", "2 words, 18 characters\n"},
    {count, "en_US", "don't stop at 3.14", "4 words, 18 characters\n"},
    {count, "en_US", "🇫🇷 👨‍👩‍👧", "0 words, 3 characters\n"},
    {count, "en_US", "私は学生です", "4 words, 6 characters\n"},
    // Lines in the collation order of the default locale.
    {sort, "root", "f\nété\nEte\nete\n", "ete\nEte\nété\nf\n"},
    {sort, "root", "z\nä\na\n", "a\nä\nz\n"},
    {sort, "sv_SE", "z\nä\na\n", "a\nz\nä\n"},
    // Each line keeps its line break, and the end stays as it was.
    {sort, "root", "", ""},
    {sort, "root", "\n", "\n"},
    {sort, "root", "b\na\n", "a\nb\n"},
    {sort, "root", "c\nb\r\na", "a\nb\r\nc"},
    {sort, "root", "b\n\na\n", "\na\nb\n"},
    {sort, "root", "b\rx\na\n", "a\nb\rx\n"},
};

TEST_F(TextCommand, TransformsTheTextInTheDefaultLocale) {
    for (const Transform& transform : kTransforms) {
        SCOPED_TRACE(transform.input + " in " + transform.locale);
        useLocale(transform.locale);
        EXPECT_EQ(run(transform.operation, transform.input), (Outcome{0, transform.output, ""}));
    }
}

TEST_F(TextCommand, LinesThatCollateEqualKeepTheirOrder) {
    useLocale("root");
    // Composed and decomposed é are canonically equivalent: equal, yet told apart by their bytes. Enough of
    // them that an unstable sort would mix them up.
    const std::string composed = "\u00E9\n", decomposed = "e\u0301\n";
    std::string input, before, equal, after;
    for (int i = 0; i < 60; ++i) {
        const std::string& line = (i * 7 % 5 < 2) ? composed : decomposed;
        const std::string other = i % 3 == 0 ? "f\n" : "d\n";
        input += other + line;
        (i % 3 == 0 ? after : before) += other;
        equal += line;
    }
    EXPECT_EQ(std::get<1>(run(sort, input)), before + equal + after);
}

TEST_F(TextCommand, TextThatIsNotUtf8OrLargerIsRefusedWithNoOutputAndAnUnreadableOneIsReported) {
    for (const std::string bytes :
         {"\x80", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF", "\xE2\x82"})
        for (TextOperation operation : {upper, lower, sort, count})
            expectRefused(run(operation, "Straße\n" + bytes + "x\n"), "the text is not UTF-8");
    for (const char* edge : {"\xF4\x8F\xBF\xBF", "\xED\x9F\xBF", "\xEE\x80\x80", "\xEF\xBF\xBF", "\xC2\x80"})
        EXPECT_TRUE(isUtf8(edge)) << edge;

    // A larger text is refused without reading on.
    EXPECT_TRUE(std::get<1>(run(upper, std::string(kMaxTextBytes, 'a'))) == std::string(kMaxTextBytes, 'A'));
    std::istringstream large(std::string(kMaxTextBytes + (std::size_t{1} << 20), 'a'));
    expectRefused(run(count, large), "the text is larger than 16 MiB");
    EXPECT_LT(large.tellg(), std::streamoff(kMaxTextBytes + (std::size_t{1} << 16)));
    std::istringstream unreadable("a device that went away");
    unreadable.setstate(std::ios::badbit);
    expectRefused(run(sort, unreadable), "standard input could not be read");
}

} // namespace
} // namespace quoddle
