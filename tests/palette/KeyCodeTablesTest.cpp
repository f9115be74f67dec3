#include "Library/KeyCodeTables.h"

#include <gtest/gtest.h>

#include <map>

namespace quoddle {
namespace {

// A layout given as a table, counting its translations.
class TableLayout : public KeyboardLayout {
public:
    explicit TableLayout(std::map<std::uint16_t, char16_t> keys) : keys_(std::move(keys)) {}
    std::optional<char16_t> characterForKeyCode(std::uint16_t virtualKey) const override {
        ++translations;
        auto it = keys_.find(virtualKey);
        if (it == keys_.end()) return std::nullopt;
        return it->second;
    }
    mutable int translations = 0;

private:
    std::map<std::uint16_t, char16_t> keys_;
};

TEST(KeyCodeTables, EachTableIsBuiltOnceOverCodesZeroTo128) {
    TableLayout layout({{0, u'a'}, {8, u'c'}, {128, u'z'}, {129, u'q'}});
    KeyCodeTables tables(layout);
    EXPECT_EQ(tables.NSStringToKeyCode("c"), 8);
    EXPECT_EQ(tables.NSStringToKeyCode("z"), 128);
    EXPECT_EQ(tables.NSStringToKeyCode("q"), 0xFFFF) << "code 129 is beyond the table";
    EXPECT_EQ(layout.translations, 129);

    EXPECT_EQ(tables.keyCodeToNSString(8), "c");
    EXPECT_EQ(tables.keyCodeToNSString(1), std::nullopt);
    EXPECT_EQ(tables.NSStringToKeyCode("a"), 0);
    EXPECT_EQ(layout.translations, 258) << "the other direction builds its own table, once";
}

TEST(KeyCodeTables, TheHighestCodeWinsAndLookupsAreExact) {
    TableLayout layout({{29, u'0'}, {82, u'0'}, {0, u'a'}, {10, u'\u00a7'}, {11, u'\u20ac'}, {12, 0xD800}});
    KeyCodeTables tables(layout);
    EXPECT_EQ(tables.NSStringToKeyCode("0"), 82) << "the keypad key's higher code";
    EXPECT_EQ(tables.keyCodeToNSString(29), "0");
    for (const char* inexact : {"A", "ab", ""})
        EXPECT_EQ(tables.NSStringToKeyCode(inexact), 0xFFFF) << '"' << inexact << '"';
    EXPECT_EQ(tables.NSStringToKeyCode("\u00a7"), 10);
    EXPECT_EQ(tables.keyCodeToNSString(11), "\u20ac");
    EXPECT_EQ(tables.keyCodeToNSString(12), std::nullopt) << "a lone surrogate half is no character";
}

} // namespace
} // namespace quoddle
