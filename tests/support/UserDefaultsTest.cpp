#include "support/UserDefaults.h"
#include "platform/sim/SimDefaultsStore.h"

#include <gtest/gtest.h>

#include <limits>

namespace quoddle {
namespace {

TEST(UserDefaults, StringsReadLikeThePlatformsAndStoredValuesWinOverRegisteredOnes) {
    const std::pair<const char*, std::int32_t> ints[] = {
        {"12", 12},
        {" 12a", 12},
        {"\t -7x", -7},
        {"+5", 5},
        {"abc", 0},
        {"", 0},
        {"- 3", 0},
        {"99999999999999999999", std::numeric_limits<std::int32_t>::max()},
        {"-99999999999999999999", std::numeric_limits<std::int32_t>::min()}};
    for (auto [text, value] : ints)
        EXPECT_EQ(intValueOfString(text), value) << text;
    for (const char* yes : {"YES", "yes", "true", "T", " 1", "-0009"})
        EXPECT_TRUE(boolValueOfString(yes)) << yes;
    for (const char* no : {"NO", "false", "0", "", "  ", "maybe", "000"})
        EXPECT_FALSE(boolValueOfString(no)) << no;

    SimDefaultsStore store;
    UserDefaults defaults(store);
    defaults.registerDefaults({{"Width", 180}, {"Flag", true}, {"Name", "Services"}});
    EXPECT_EQ(defaults.integerForKey("Width"), 180);
    EXPECT_TRUE(defaults.boolForKey("Flag"));
    defaults.setInteger("Width", 240);
    EXPECT_EQ(defaults.integerForKey("Width"), 240);

    defaults.setObject("s", "42 points");
    defaults.setObject("d", 12.9);
    defaults.setObject("b", true);
    defaults.setObject("dict", PlistDictionary{});
    EXPECT_EQ(defaults.integerForKey("s"), 42);
    EXPECT_EQ(defaults.integerForKey("d"), 12);
    EXPECT_EQ(defaults.integerForKey("b"), 1);
    EXPECT_EQ(defaults.integerForKey("dict"), 0);
    EXPECT_FALSE(defaults.boolForKey("missing"));
    EXPECT_EQ(defaults.stringForKey("missing"), std::nullopt);
    EXPECT_EQ(defaults.stringForKey("dict"), std::nullopt);
    EXPECT_EQ(defaults.stringForKey("b"), "1");
}

} // namespace
} // namespace quoddle
