#include "cli/TextCommand.h"
#include "cli/CommandLine.h"
#include "platform/sim/SimAppServices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <streambuf>

namespace quoddle {
namespace {

// ICU's default locale for one test; the process's own comes back afterwards.
class DefaultLocale {
public:
    explicit DefaultLocale(const char* name) : previous_(icu::Locale::getDefault()) {
        set(icu::Locale(name));
    }
    ~DefaultLocale() { set(previous_); }

private:
    static void set(const icu::Locale& locale) {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(locale, status);
        EXPECT_TRUE(U_SUCCESS(status));
    }
    icu::Locale previous_;
};

struct Outcome {
    int status;
    std::string out, err;
};

// The command as the program runs it.
Outcome run(std::vector<std::string> arguments, std::istream& in) {
    std::vector<char*> argv{const_cast<char*>("quoddle")};
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::ostringstream out, err;
    SimAppServices productStrings;
    const CommandLineHost host{nullptr, productStrings, nullptr};
    const int status = runCommandLine(static_cast<int>(argv.size() - 1), argv.data(), out, err, in, host);
    return {status, out.str(), err.str()};
}

Outcome text(const std::string& operation, const std::string& input) {
    std::istringstream in(input);
    return run({"text", operation}, in);
}

void expectRefused(const Outcome& outcome, const std::string& message) {
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "quoddle text: " + message + "\n");
}

std::string output(const std::string& operation, const std::string& input) {
    const Outcome result = text(operation, input);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    return result.out;
}

TEST(TextCase, FullCaseMappingChangesLettersAndNothingElse) {
    DefaultLocale english("en_US");
    EXPECT_EQ(output("upper", "straße\r\nǆ ﬁ ŉ\n"), "STRASSE\r\nǄ FI ʼN\n");
    EXPECT_EQ(output("lower", "ΟΔΟΣ, ΟΔΟΣ"), "οδος, οδος"); // final sigma where a word ends
    EXPECT_EQ(output("lower", "İ"), "i̇");
    EXPECT_EQ(output("upper", std::string("a\0b\tc\r", 6)), std::string("A\0B\tC\r", 6));
    EXPECT_EQ(output("upper", ""), "");
}

TEST(TextCase, TheDefaultLocaleChoosesTheMapping) {
    {
        DefaultLocale turkish("tr_TR");
        EXPECT_EQ(output("upper", "iı"), "İI");
        EXPECT_EQ(output("lower", "Iİ"), "ıi");
    }
    DefaultLocale english("en_US");
    EXPECT_EQ(output("upper", "iı"), "II");
    EXPECT_EQ(output("lower", "I"), "i");
}

TEST(TextCount, WordsCharactersAndLines) {
    DefaultLocale english("en_US");
    const std::pair<std::string, std::string> cases[] = {
        {"", "0 words, 0 characters"},
        {"a", "1 word, 1 character"},
        {"a\n", "1 word, 1 character"},
        {"\n\n", "0 words, 0 characters, 2 lines"},
        {"one two\r\nthree\r\n", "3 words, 12 characters, 2 lines"},
        {"a\rb", "2 words, 3 characters"}, // a lone CR is no line break
        {"Hello, world! — …?", "2 words, 18 characters"},
        {"don't stop at 3.14", "4 words, 18 characters"},
        {"e\u0301", "1 word, 1 character"},
        {"🇫🇷 👨‍👩‍👧", "0 words, 3 characters"},
        {"私は学生です", "4 words, 6 characters"},
        {"我爱北京天安门", "4 words, 7 characters"},
        {"日本語のテキスト\n", "3 words, 8 characters"},
    };
    for (const auto& [input, counts] : cases)
        EXPECT_EQ(output("count", input), counts + "\n") << input;
}

TEST(TextSort, LinesFollowTheCollationOfTheDefaultLocale) {
    {
        DefaultLocale root("root");
        EXPECT_EQ(output("sort", "f\nété\nEte\nete\n"), "ete\nEte\nété\nf\n");
        EXPECT_EQ(output("sort", "Zebra\napple\nÄpfel\nzebra\n"), "Äpfel\napple\nzebra\nZebra\n");
        EXPECT_EQ(output("sort", "z\nä\na\n"), "a\nä\nz\n");
    }
    DefaultLocale swedish("sv_SE");
    EXPECT_EQ(output("sort", "z\nä\na\n"), "a\nz\nä\n");
}

TEST(TextSort, LinesThatCollateEqualKeepTheirOrder) {
    DefaultLocale root("root");
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
    EXPECT_EQ(output("sort", input), before + equal + after);
}

TEST(TextSort, EachLineKeepsItsLineBreakAndTheEndStaysAsItWas) {
    DefaultLocale root("root");
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"\n", "\n"},
        {"b\na", "a\nb"},
        {"b\na\n", "a\nb\n"},
        {"b\r\na\r\n", "a\r\nb\r\n"},
        {"b\r\na", "a\r\nb"},
        {"c\nb\r\na", "a\nb\r\nc"},
        {"b\n\na\n", "\na\nb\n"},
        {"b\rx\na\n", "a\nb\rx\n"},
    };
    for (const auto& [input, sorted] : cases)
        EXPECT_EQ(output("sort", input), sorted) << input;
}

TEST(TextInput, TextThatIsNotUtf8IsRefusedByEveryOperationWithNoOutput) {
    const std::string broken[] = {"\x80", "\xC3",    "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                  "\xFF", "\xE2\x82"};
    for (const std::string& bytes : broken) {
        for (const char* operation : {"upper", "lower", "sort", "count"}) {
            SCOPED_TRACE(operation);
            expectRefused(text(operation, "Straße\n" + bytes + "x\n"), "the text is not UTF-8");
        }
    }
    for (const char* edge : {"\xF4\x8F\xBF\xBF", "\xED\x9F\xBF", "\xEE\x80\x80", "\xEF\xBF\xBF", "\xC2\x80"})
        EXPECT_TRUE(isUtf8(edge)) << edge;
}

// Standard input of `size` bytes of "a", or one that fails; it counts what was taken from it.
class Source : public std::streambuf {
public:
    explicit Source(std::size_t size, bool fails = false) : left_(size), fails_(fails) {}
    std::size_t taken = 0;

protected:
    int_type underflow() override {
        if (fails_) throw std::runtime_error("the device went away");
        if (left_ == 0) return traits_type::eof();
        const std::size_t chunk = std::min(left_, sizeof buffer_);
        std::fill_n(buffer_, chunk, 'a');
        left_ -= chunk;
        taken += chunk;
        setg(buffer_, buffer_, buffer_ + chunk);
        return traits_type::to_int_type('a');
    }

private:
    char buffer_[4096];
    std::size_t left_;
    bool fails_;
};

TEST(TextInput, ALargerTextIsRefusedWithoutReadingItAllAndAnUnreadableOneIsReported) {
    Source atTheLimit(kMaxTextBytes);
    std::istream limit(&atTheLimit);
    const Outcome accepted = run({"text", "upper"}, limit);
    EXPECT_EQ(accepted.status, 0);
    EXPECT_TRUE(accepted.out == std::string(kMaxTextBytes, 'A'));

    Source endless(std::size_t{1} << 30);
    std::istream large(&endless);
    expectRefused(run({"text", "count"}, large), "the text is larger than 16 MiB");
    EXPECT_LT(endless.taken, kMaxTextBytes + (std::size_t{1} << 20));

    Source failing(0, true);
    std::istream unreadable(&failing);
    expectRefused(run({"text", "sort"}, unreadable), "standard input could not be read");
}

TEST(TextCommandLine, AnUnknownOrMissingOperationIsAUsageError) {
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"text"}, {"text", "title"}, {"text", "Upper"}, {"text", "upper", "sort"}}) {
        std::istringstream in("text");
        const Outcome result = run(arguments, in);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("'text' takes 'upper', 'lower', 'sort' or 'count'"), std::string::npos);
    }
    std::istringstream none;
    const Outcome help = run({"--help"}, none);
    for (const char* line :
         {"text upper", "text lower", "text sort", "text count", "services [--check FILE]"})
        EXPECT_NE(help.out.find(line), std::string::npos) << line;
}

} // namespace
} // namespace quoddle
