// The macOS-to-X key table, the keysym-to-character conversion, and the keyboard layout port over them.
#include "platform/linux/MacKeyCodes.h"
#include "platform/linux/X11KeyboardLayout.h"

#include "Library/KeyCodeTables.h"
#include <gtest/gtest.h>

#include "platform/linux/X11TestSession.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include <map>
#include <set>

namespace quoddle {
namespace {

using testing::XWindow;

using namespace mac_vk;

TEST(MacKeyCodes, EveryEntryIsOneDistinctPhysicalKey) {
    std::set<std::uint8_t> keycodes;
    for (const MacKeyMapping& mapping : macKeyMappings()) {
        SCOPED_TRACE(mapping.name);
        EXPECT_GE(mapping.xKeycode, 8) << "X keycodes start at 8";
        EXPECT_EQ(macKeyMapping(mapping.macKey), &mapping);
        EXPECT_EQ(xKeycodeForMacKey(mapping.macKey), mapping.xKeycode);
        // No two macOS keys share a position: they are different keys on every keyboard.
        EXPECT_TRUE(keycodes.insert(mapping.xKeycode).second)
            << "keycode " << int(mapping.xKeycode) << " twice";
    }
    // Codes macOS leaves unassigned, the Fn key (inside the keyboard) and codes beyond the table.
    for (std::uint16_t none :
         {std::uint16_t{0x34}, std::uint16_t{0x42}, std::uint16_t{0x44}, std::uint16_t{0x46},
          std::uint16_t{0x4D}, std::uint16_t{0x6C}, std::uint16_t{0x70}, kVK_Function, std::uint16_t{0x7F},
          std::uint16_t{128}, std::uint16_t{0xFFFF}}) {
        EXPECT_FALSE(xKeycodeForMacKey(none)) << "code " << none;
        EXPECT_EQ(macKeyMapping(none), nullptr) << "code " << none;
    }
}

TEST(MacKeyCodes, LettersDigitsAndModifiersAreAllMappedAsOnAPcKeyboard) {
    const std::uint16_t letters[] = {kVK_ANSI_A, kVK_ANSI_B, kVK_ANSI_C, kVK_ANSI_D, kVK_ANSI_E, kVK_ANSI_F,
                                     kVK_ANSI_G, kVK_ANSI_H, kVK_ANSI_I, kVK_ANSI_J, kVK_ANSI_K, kVK_ANSI_L,
                                     kVK_ANSI_M, kVK_ANSI_N, kVK_ANSI_O, kVK_ANSI_P, kVK_ANSI_Q, kVK_ANSI_R,
                                     kVK_ANSI_S, kVK_ANSI_T, kVK_ANSI_U, kVK_ANSI_V, kVK_ANSI_W, kVK_ANSI_X,
                                     kVK_ANSI_Y, kVK_ANSI_Z};
    const std::uint16_t digits[] = {kVK_ANSI_0, kVK_ANSI_1, kVK_ANSI_2, kVK_ANSI_3, kVK_ANSI_4,
                                    kVK_ANSI_5, kVK_ANSI_6, kVK_ANSI_7, kVK_ANSI_8, kVK_ANSI_9};
    for (std::uint16_t key : letters)
        EXPECT_TRUE(xKeycodeForMacKey(key)) << "letter " << key;
    for (std::uint16_t key : digits)
        EXPECT_TRUE(xKeycodeForMacKey(key)) << "digit " << key;

    // The held modifiers, with the X keycodes of the evdev set; Caps Lock is a key, not one of them.
    const std::map<std::uint16_t, std::uint8_t> modifiers = {
        {kVK_Command, 133},      {kVK_Shift, 50},      {kVK_Option, 64},       {kVK_Control, 37},
        {kVK_RightCommand, 134}, {kVK_RightShift, 62}, {kVK_RightOption, 108}, {kVK_RightControl, 105}};
    for (const MacKeyMapping& mapping : macKeyMappings()) {
        const auto it = modifiers.find(mapping.macKey);
        EXPECT_EQ(mapping.isModifier, it != modifiers.end()) << mapping.name;
        if (it != modifiers.end()) {
            EXPECT_EQ(mapping.xKeycode, it->second) << mapping.name;
        }
    }
    EXPECT_EQ(xKeycodeForMacKey(kVK_ANSI_A), 38);
    EXPECT_EQ(xKeycodeForMacKey(kVK_Delete), 22);         // BackSpace
    EXPECT_EQ(xKeycodeForMacKey(kVK_ForwardDelete), 119); // Delete
    EXPECT_EQ(xKeycodeForMacKey(kVK_Help), 118);          // Insert
}

// The first symbol of every mapped key under the US layout; none where the US layout gives the position
// no symbol of its own to rely on (the Japanese keys, the function keys above F12).
const std::map<std::uint16_t, const char*> kUsLevelZeroKeysyms = {
    {kVK_ANSI_A, "a"},
    {kVK_ANSI_S, "s"},
    {kVK_ANSI_D, "d"},
    {kVK_ANSI_F, "f"},
    {kVK_ANSI_H, "h"},
    {kVK_ANSI_G, "g"},
    {kVK_ANSI_Z, "z"},
    {kVK_ANSI_X, "x"},
    {kVK_ANSI_C, "c"},
    {kVK_ANSI_V, "v"},
    {kVK_ISO_Section, "less"},
    {kVK_ANSI_B, "b"},
    {kVK_ANSI_Q, "q"},
    {kVK_ANSI_W, "w"},
    {kVK_ANSI_E, "e"},
    {kVK_ANSI_R, "r"},
    {kVK_ANSI_Y, "y"},
    {kVK_ANSI_T, "t"},
    {kVK_ANSI_1, "1"},
    {kVK_ANSI_2, "2"},
    {kVK_ANSI_3, "3"},
    {kVK_ANSI_4, "4"},
    {kVK_ANSI_6, "6"},
    {kVK_ANSI_5, "5"},
    {kVK_ANSI_Equal, "equal"},
    {kVK_ANSI_9, "9"},
    {kVK_ANSI_7, "7"},
    {kVK_ANSI_Minus, "minus"},
    {kVK_ANSI_8, "8"},
    {kVK_ANSI_0, "0"},
    {kVK_ANSI_RightBracket, "bracketright"},
    {kVK_ANSI_O, "o"},
    {kVK_ANSI_U, "u"},
    {kVK_ANSI_LeftBracket, "bracketleft"},
    {kVK_ANSI_I, "i"},
    {kVK_ANSI_P, "p"},
    {kVK_Return, "Return"},
    {kVK_ANSI_L, "l"},
    {kVK_ANSI_J, "j"},
    {kVK_ANSI_Quote, "apostrophe"},
    {kVK_ANSI_K, "k"},
    {kVK_ANSI_Semicolon, "semicolon"},
    {kVK_ANSI_Backslash, "backslash"},
    {kVK_ANSI_Comma, "comma"},
    {kVK_ANSI_Slash, "slash"},
    {kVK_ANSI_N, "n"},
    {kVK_ANSI_M, "m"},
    {kVK_ANSI_Period, "period"},
    {kVK_Tab, "Tab"},
    {kVK_Space, "space"},
    {kVK_ANSI_Grave, "grave"},
    {kVK_Delete, "BackSpace"},
    {kVK_Escape, "Escape"},
    {kVK_RightCommand, "Super_R"},
    {kVK_Command, "Super_L"},
    {kVK_Shift, "Shift_L"},
    {kVK_CapsLock, "Caps_Lock"},
    {kVK_Option, "Alt_L"},
    {kVK_Control, "Control_L"},
    {kVK_RightShift, "Shift_R"},
    {kVK_RightOption, "Alt_R"},
    {kVK_RightControl, "Control_R"},
    {kVK_F17, nullptr},
    {kVK_ANSI_KeypadDecimal, "KP_Delete"},
    {kVK_ANSI_KeypadMultiply, "KP_Multiply"},
    {kVK_ANSI_KeypadPlus, "KP_Add"},
    {kVK_ANSI_KeypadClear, "Num_Lock"},
    {kVK_VolumeUp, "XF86AudioRaiseVolume"},
    {kVK_VolumeDown, "XF86AudioLowerVolume"},
    {kVK_Mute, "XF86AudioMute"},
    {kVK_ANSI_KeypadDivide, "KP_Divide"},
    {kVK_ANSI_KeypadEnter, "KP_Enter"},
    {kVK_ANSI_KeypadMinus, "KP_Subtract"},
    {kVK_F18, nullptr},
    {kVK_F19, nullptr},
    {kVK_ANSI_KeypadEquals, "KP_Equal"},
    {kVK_ANSI_Keypad0, "KP_Insert"},
    {kVK_ANSI_Keypad1, "KP_End"},
    {kVK_ANSI_Keypad2, "KP_Down"},
    {kVK_ANSI_Keypad3, "KP_Next"},
    {kVK_ANSI_Keypad4, "KP_Left"},
    {kVK_ANSI_Keypad5, "KP_Begin"},
    {kVK_ANSI_Keypad6, "KP_Right"},
    {kVK_ANSI_Keypad7, "KP_Home"},
    {kVK_F20, nullptr},
    {kVK_ANSI_Keypad8, "KP_Up"},
    {kVK_ANSI_Keypad9, "KP_Prior"},
    {kVK_JIS_Yen, nullptr},
    {kVK_JIS_Underscore, nullptr},
    {kVK_JIS_KeypadComma, nullptr},
    {kVK_F5, "F5"},
    {kVK_F6, "F6"},
    {kVK_F7, "F7"},
    {kVK_F3, "F3"},
    {kVK_F8, "F8"},
    {kVK_F9, "F9"},
    {kVK_JIS_Eisu, nullptr},
    {kVK_F11, "F11"},
    {kVK_JIS_Kana, nullptr},
    {kVK_F13, nullptr},
    {kVK_F16, nullptr},
    {kVK_F14, nullptr},
    {kVK_F10, "F10"},
    {kVK_ContextualMenu, "Menu"},
    {kVK_F12, "F12"},
    {kVK_F15, nullptr},
    {kVK_Help, "Insert"},
    {kVK_Home, "Home"},
    {kVK_PageUp, "Prior"},
    {kVK_ForwardDelete, "Delete"},
    {kVK_F4, "F4"},
    {kVK_End, "End"},
    {kVK_F2, "F2"},
    {kVK_PageDown, "Next"},
    {kVK_F1, "F1"},
    {kVK_LeftArrow, "Left"},
    {kVK_RightArrow, "Right"},
    {kVK_DownArrow, "Down"},
    {kVK_UpArrow, "Up"},
};

// The test display's keyboard, when it is the plain US layout of the evdev rules; none otherwise.
DisplayHandle openUsKeyboardDisplay(std::string& why) {
    DisplayHandle display = testing::openTestDisplay();
    if (!display) {
        why = "no display";
        return nullptr;
    }
    // rules, model, layout, variant and options, NUL-separated, as the server was configured.
    std::optional<std::string> names =
        readTextProperty(display.get(), DefaultRootWindow(display.get()), "_XKB_RULES_NAMES");
    std::vector<std::string> fields;
    for (std::size_t start = 0; names && start <= names->size();) {
        const std::size_t end = std::min(names->find('\0', start), names->size());
        fields.push_back(names->substr(start, end - start));
        start = end + 1;
    }
    if (fields.size() < 4 || fields[0] != "evdev" || fields[2] != "us" || !fields[3].empty()) {
        why = "the display's keyboard is not the plain US layout of the evdev rules";
        return nullptr;
    }
    return display;
}

TEST(MacKeyCodes, MappedKeysTypeTheirUsSymbolsOnTheServer) {
    std::string why;
    DisplayHandle display = openUsKeyboardDisplay(why);
    if (!display) GTEST_SKIP() << why;
    int minKeycode = 0, maxKeycode = 0;
    XDisplayKeycodes(display.get(), &minKeycode, &maxKeycode);
    for (const MacKeyMapping& mapping : macKeyMappings()) {
        SCOPED_TRACE(mapping.name);
        EXPECT_GE(mapping.xKeycode, minKeycode);
        EXPECT_LE(mapping.xKeycode, maxKeycode);
        const auto expected = kUsLevelZeroKeysyms.find(mapping.macKey);
        ASSERT_NE(expected, kUsLevelZeroKeysyms.end()) << "no expectation for this entry";
        if (!expected->second) continue;
        const KeySym keysym = XkbKeycodeToKeysym(display.get(), mapping.xKeycode, 0, 0);
        const char* name = keysym == NoSymbol ? "NoSymbol" : XKeysymToString(keysym);
        EXPECT_STREQ(name ? name : "?", expected->second);
    }
}

TEST(KeysymCharacters, LatinUnicodeAndKeypadKeysymsTypeOneUnitAndOthersNone) {
    struct Case {
        unsigned long keysym;
        std::optional<char16_t> character;
    };
    const Case cases[] = {
        {XK_space, u' '},
        {XK_a, u'a'},
        {XK_asciitilde, u'~'},
        {0x7f, std::nullopt}, // Delete, a control character
        {0x9f, std::nullopt},
        {XK_nobreakspace, u'\u00a0'},
        {XK_ssharp, u'\u00df'},
        {XK_ydiaeresis, u'\u00ff'},
        {0x1000000 | 0x20ac, u'\u20ac'}, // EuroSign as a Unicode keysym
        {0x1000000 | 0x0416, u'\u0416'},
        {0x1000000 | 0xfffd, u'\ufffd'},
        {0x1000000 | 0x0009, std::nullopt},  // a control character
        {0x1000000 | 0xd800, std::nullopt},  // a lone surrogate
        {0x1000000 | 0x1f600, std::nullopt}, // beyond the BMP: no single UTF-16 unit
        {XK_KP_0, u'0'},
        {XK_KP_9, u'9'},
        {XK_KP_Divide, u'/'},
        {XK_KP_Multiply, u'*'},
        {XK_KP_Subtract, u'-'},
        {XK_KP_Add, u'+'},
        {XK_KP_Decimal, u'.'},
        {XK_KP_Separator, u','},
        {XK_KP_Equal, u'='},
        {XK_KP_Space, u' '},
        {XK_KP_Enter, std::nullopt},
        {XK_KP_Home, std::nullopt},
        {XK_dead_acute, std::nullopt},
        {XK_dead_circumflex, std::nullopt},
        {XK_F1, std::nullopt},
        {XK_Return, std::nullopt},
        {XK_Shift_L, std::nullopt},
        {XK_BackSpace, std::nullopt},
        {0x6c1, std::nullopt}, // Cyrillic_a, from the older national sets
        {NoSymbol, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(characterOfKeysym(c.keysym), c.character) << std::hex << "keysym 0x" << c.keysym;
}

TEST(X11KeyboardLayout, TypesTheUsCharactersAndFeedsTheCoreKeyTables) {
    std::string why;
    DisplayHandle display = openUsKeyboardDisplay(why);
    if (!display) GTEST_SKIP() << why;
    X11KeyboardLayout layout(display.get());
    EXPECT_EQ(layout.characterForKeyCode(kVK_ANSI_A), u'a');
    EXPECT_EQ(layout.characterForKeyCode(kVK_ANSI_Semicolon), u';');
    EXPECT_EQ(layout.characterForKeyCode(kVK_ANSI_Grave), u'`');
    EXPECT_EQ(layout.characterForKeyCode(kVK_Space), u' ');
    EXPECT_EQ(layout.characterForKeyCode(kVK_ANSI_KeypadDivide), std::nullopt)
        << "keypad keys are keys of their own";
    EXPECT_EQ(layout.characterForKeyCode(kVK_ANSI_Keypad7), std::nullopt); // KP_Home without Num Lock
    EXPECT_EQ(layout.characterForKeyCode(kVK_Return), std::nullopt);
    EXPECT_EQ(layout.characterForKeyCode(kVK_F1), std::nullopt);
    EXPECT_EQ(layout.characterForKeyCode(kVK_Function), std::nullopt);
    EXPECT_EQ(layout.characterForKeyCode(200), std::nullopt);

    // The core looks keys up by character over codes 0 to 128: a letter and a digit find the main keys.
    KeyCodeTables tables(layout);
    EXPECT_EQ(tables.NSStringToKeyCode("c"), kVK_ANSI_C);
    EXPECT_EQ(tables.NSStringToKeyCode("1"), kVK_ANSI_1);
    EXPECT_EQ(tables.NSStringToKeyCode("-"), kVK_ANSI_Minus)
        << "not the keypad's minus, which has the higher code";
    EXPECT_EQ(tables.keyCodeToNSString(kVK_ANSI_Quote), "'");
    EXPECT_EQ(tables.NSStringToKeyCode("\xc3\xa9"), 0xFFFF); // no US key types é
}

} // namespace
} // namespace quoddle
