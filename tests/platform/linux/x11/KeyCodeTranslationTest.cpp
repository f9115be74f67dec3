// The key-code translation table, the keysym-to-character conversion, and the keyboard layout port over
// them. The table is checked by its properties and by the positions the default shortcuts and the menus
// rely on, not entry by entry.
#include "platform/linux/x11/KeyCodeTranslation.h"
#include "platform/linux/x11/X11KeyboardLayout.h"
#include "support/KeyboardTables.h"

#include <gtest/gtest.h>

#include "platform/linux/X11TestSession.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include <set>

namespace quoddle {
namespace {

using namespace mac_vk;

// The macOS codes with no key on a PC keyboard or no meaning; every other code up to 0x7E has a key.
const std::set<std::uint16_t> kUnmapped{0x34, kVK_Function, 0x42, 0x44, 0x46, 0x4D, 0x6C, 0x70};

TEST(KeyCodeTranslation, TheTableIsCompleteOneToOneAndKeysSitWhereAPcKeyboardHasThem) {
    // Held modifiers are the eight of both hands; Caps Lock locks and is none of them.
    const std::set<std::uint16_t> modifiers{kVK_Command,     kVK_Shift,        kVK_Option,
                                            kVK_Control,     kVK_RightCommand, kVK_RightShift,
                                            kVK_RightOption, kVK_RightControl};
    std::set<std::uint16_t> keycodes;
    for (const MacKeyMapping& mapping : macKeyMappings()) {
        EXPECT_GE(mapping.xKeycode, 8) << mapping.name << ": X keycodes start at 8";
        EXPECT_TRUE(keycodes.insert(mapping.xKeycode).second)
            << mapping.name << ": two codes at one position";
        EXPECT_EQ(mapping.isModifier, modifiers.count(mapping.macKey) == 1) << mapping.name;
    }
    for (std::uint32_t code = 0; code <= 0xFFFF; ++code) {
        const auto key = static_cast<std::uint16_t>(code);
        const MacKeyMapping* mapping = macKeyMapping(key);
        ASSERT_EQ(mapping != nullptr, code <= 0x7E && !kUnmapped.count(key)) << "code " << code;
        ASSERT_EQ(xKeycodeForMacKey(key), mapping ? std::optional(mapping->xKeycode) : std::nullopt)
            << "code " << code;
        ASSERT_TRUE(!mapping || mapping->macKey == key) << "code " << code;
    }
    // The keys of the default shortcuts and of menu navigation, at their evdev positions.
    const std::pair<std::uint16_t, std::uint8_t> positions[] = {
        {kVK_ANSI_A, 38},  {kVK_ANSI_C, 54}, {kVK_ANSI_V, 55},         {kVK_ANSI_X, 53},   {kVK_ANSI_Z, 52},
        {kVK_Control, 37}, {kVK_Shift, 50},  {kVK_Option, 64},         {kVK_Command, 133}, {kVK_Return, 36},
        {kVK_Escape, 9},   {kVK_Delete, 22}, {kVK_ForwardDelete, 119}, {kVK_Help, 118},    {kVK_ANSI_1, 10}};
    for (const auto& [key, keycode] : positions)
        EXPECT_EQ(xKeycodeForMacKey(key), keycode) << macKeyMapping(key)->name;
}

// Latin-1 and Unicode keysyms in the Basic Multilingual Plane type their character, and so do the
// keypad's digits and operators; control characters, surrogates, dead keys and the rest type none.
TEST(KeysymCharacters, LatinUnicodeAndKeypadKeysymsTypeOneUnitAndOthersNone) {
    const std::optional<char16_t> kNone;
    const std::pair<unsigned long, std::optional<char16_t>> cases[] = {
        {XK_space, u' '},       {XK_asciitilde, u'~'}, {0x7f, kNone},           {XK_ydiaeresis, u'\u00ff'},
        {0x10020ac, u'\u20ac'}, {0x1000009, kNone},    {0x1000085, kNone},      {0x100d800, kNone},
        {0x101f600, kNone},     {XK_KP_9, u'9'},       {XK_KP_Separator, u','}, {XK_KP_Enter, kNone},
        {XK_dead_acute, kNone}, {XK_Shift_L, kNone},   {0x6c1, kNone}};
    for (const auto& [keysym, character] : cases)
        EXPECT_EQ(characterOfKeysym(keysym), character) << std::hex << "keysym 0x" << keysym;
}

TEST(X11KeyboardLayout, TypesTheUsCharactersOnTheMainKeysOnly) {
    DisplayHandle display = testing::openTestDisplay();
    // Rules, model, layout, variant and options, NUL-separated, as the server was configured.
    const std::optional<std::string> names =
        display ? readTextProperty(display.get(), DefaultRootWindow(display.get()), "_XKB_RULES_NAMES")
                : std::nullopt;
    if (!names || !names->starts_with(std::string("evdev\0", 6)) ||
        names->find(std::string("\0us\0\0", 5)) == std::string::npos)
        GTEST_SKIP() << "needs a display with the plain US layout of the evdev rules";
    X11KeyboardLayout layout(display.get());
    EXPECT_EQ(layout.characterForKeyCode(kVK_ANSI_A), u'a');
    EXPECT_EQ(layout.characterForKeyCode(kVK_ANSI_Grave), u'`');
    EXPECT_EQ(layout.characterForKeyCode(kVK_ANSI_KeypadMinus), std::nullopt) << "a key of its own";
    EXPECT_EQ(layout.characterForKeyCode(kVK_Return), std::nullopt);

    // What the core's table makes of it: a "char" line's character finds the main key.
    KeyboardTables tables(layout);
    EXPECT_EQ(tables.keyCodeTyping("c"), kVK_ANSI_C);
    EXPECT_EQ(tables.keyCodeTyping("-"), kVK_ANSI_Minus) << "not the keypad's, which has the higher code";
    EXPECT_EQ(tables.keyCodeTyping("'"), kVK_ANSI_Quote);
    EXPECT_EQ(tables.keyCodeTyping("\xc3\xa9"), std::nullopt) << "no US key types é";
}

} // namespace
} // namespace quoddle
