#include "Library/UserDefaults.h"
#include "platform/sim/SimDefaultsStore.h"

#include <gtest/gtest.h>

#include <limits>

namespace quoddle {
namespace {

TEST(IntValueOfString, ReadsLikeThePlatformsStringToInt) {
    EXPECT_EQ(intValueOfString("12"), 12);
    EXPECT_EQ(intValueOfString(" 12a"), 12);
    EXPECT_EQ(intValueOfString("\t -7x"), -7);
    EXPECT_EQ(intValueOfString("+5"), 5);
    EXPECT_EQ(intValueOfString("abc"), 0);
    EXPECT_EQ(intValueOfString(""), 0);
    EXPECT_EQ(intValueOfString("- 3"), 0);
    EXPECT_EQ(intValueOfString("99999999999999999999"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(intValueOfString("-99999999999999999999"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(intValueOfString("2147483647"), 2147483647);
    EXPECT_EQ(intValueOfString("-2147483648"), std::numeric_limits<std::int32_t>::min());
}

TEST(BoolValueOfString, AcceptsTheLeadingLettersAndDigitsThePlatformDoes) {
    for (const char* yes : {"YES", "yes", "true", "T", " 1", "-0009", "+7"}) EXPECT_TRUE(boolValueOfString(yes)) << yes;
    for (const char* no : {"NO", "false", "0", "", "  ", "maybe", "000"}) EXPECT_FALSE(boolValueOfString(no)) << no;
}

TEST(UserDefaults, StoredValuesWinOverRegisteredOnesAndRegistrationIsNeverStored) {
    SimDefaultsStore store;
    UserDefaults defaults(store);
    defaults.registerDefaults({{"Width", 180}, {"Flag", true}, {"Name", "Services"}});
    EXPECT_EQ(defaults.integerForKey("Width"), 180);
    EXPECT_TRUE(defaults.boolForKey("Flag"));
    EXPECT_EQ(defaults.stringForKey("Name"), "Services");
    EXPECT_TRUE(store.all().empty());

    defaults.setInteger("Width", 240);
    defaults.setBool("Flag", false);
    EXPECT_EQ(defaults.integerForKey("Width"), 240);
    EXPECT_FALSE(defaults.boolForKey("Flag"));
    defaults.removeObjectForKey("Width");
    EXPECT_EQ(defaults.integerForKey("Width"), 180);
}

TEST(UserDefaults, TypedReadersConvertLikeThePlatform) {
    SimDefaultsStore store;
    UserDefaults defaults(store);
    defaults.setObject("s", "42 points");
    defaults.setObject("d", 12.9);
    defaults.setObject("b", true);
    defaults.setObject("dict", PlistDictionary{});
    EXPECT_EQ(defaults.integerForKey("s"), 42);
    EXPECT_EQ(defaults.integerForKey("d"), 12);
    EXPECT_EQ(defaults.integerForKey("b"), 1);
    EXPECT_EQ(defaults.integerForKey("dict"), 0);
    EXPECT_EQ(defaults.integerForKey("missing"), 0);
    EXPECT_FALSE(defaults.boolForKey("missing"));
    EXPECT_EQ(defaults.stringForKey("missing"), std::nullopt);
    EXPECT_EQ(defaults.stringForKey("dict"), std::nullopt);
    EXPECT_EQ(defaults.stringForKey("b"), "1");
}

} // namespace
} // namespace quoddle
