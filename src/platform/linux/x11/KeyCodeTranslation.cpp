#include "platform/linux/x11/KeyCodeTranslation.h"

#include <algorithm>
#include <array>

namespace quoddle {

namespace {

using namespace mac_vk;

// X keycode = Linux input event code (linux/input-event-codes.h) + 8. The comment after each entry names
// the key in the XKB keycode names of the evdev set.
constexpr MacKeyMapping kMappings[] = {
    {kVK_ANSI_A, 38, false, "A"},                           // AC01
    {kVK_ANSI_S, 39, false, "S"},                           // AC02
    {kVK_ANSI_D, 40, false, "D"},                           // AC03
    {kVK_ANSI_F, 41, false, "F"},                           // AC04
    {kVK_ANSI_H, 43, false, "H"},                           // AC06
    {kVK_ANSI_G, 42, false, "G"},                           // AC05
    {kVK_ANSI_Z, 52, false, "Z"},                           // AB01
    {kVK_ANSI_X, 53, false, "X"},                           // AB02
    {kVK_ANSI_C, 54, false, "C"},                           // AB03
    {kVK_ANSI_V, 55, false, "V"},                           // AB04
    {kVK_ISO_Section, 94, false, "ISO_Section"},            // LSGT: the ISO key left of Z, absent on ANSI
    {kVK_ANSI_B, 56, false, "B"},                           // AB05
    {kVK_ANSI_Q, 24, false, "Q"},                           // AD01
    {kVK_ANSI_W, 25, false, "W"},                           // AD02
    {kVK_ANSI_E, 26, false, "E"},                           // AD03
    {kVK_ANSI_R, 27, false, "R"},                           // AD04
    {kVK_ANSI_Y, 29, false, "Y"},                           // AD06
    {kVK_ANSI_T, 28, false, "T"},                           // AD05
    {kVK_ANSI_1, 10, false, "1"},                           // AE01
    {kVK_ANSI_2, 11, false, "2"},                           // AE02
    {kVK_ANSI_3, 12, false, "3"},                           // AE03
    {kVK_ANSI_4, 13, false, "4"},                           // AE04
    {kVK_ANSI_6, 15, false, "6"},                           // AE06
    {kVK_ANSI_5, 14, false, "5"},                           // AE05
    {kVK_ANSI_Equal, 21, false, "Equal"},                   // AE12
    {kVK_ANSI_9, 18, false, "9"},                           // AE09
    {kVK_ANSI_7, 16, false, "7"},                           // AE07
    {kVK_ANSI_Minus, 20, false, "Minus"},                   // AE11
    {kVK_ANSI_8, 17, false, "8"},                           // AE08
    {kVK_ANSI_0, 19, false, "0"},                           // AE10
    {kVK_ANSI_RightBracket, 35, false, "RightBracket"},     // AD12
    {kVK_ANSI_O, 32, false, "O"},                           // AD09
    {kVK_ANSI_U, 30, false, "U"},                           // AD07
    {kVK_ANSI_LeftBracket, 34, false, "LeftBracket"},       // AD11
    {kVK_ANSI_I, 31, false, "I"},                           // AD08
    {kVK_ANSI_P, 33, false, "P"},                           // AD10
    {kVK_Return, 36, false, "Return"},                      // RTRN
    {kVK_ANSI_L, 46, false, "L"},                           // AC09
    {kVK_ANSI_J, 44, false, "J"},                           // AC07
    {kVK_ANSI_Quote, 48, false, "Quote"},                   // AC11
    {kVK_ANSI_K, 45, false, "K"},                           // AC08
    {kVK_ANSI_Semicolon, 47, false, "Semicolon"},           // AC10
    {kVK_ANSI_Backslash, 51, false, "Backslash"},           // BKSL
    {kVK_ANSI_Comma, 59, false, "Comma"},                   // AB08
    {kVK_ANSI_Slash, 61, false, "Slash"},                   // AB10
    {kVK_ANSI_N, 57, false, "N"},                           // AB06
    {kVK_ANSI_M, 58, false, "M"},                           // AB07
    {kVK_ANSI_Period, 60, false, "Period"},                 // AB09
    {kVK_Tab, 23, false, "Tab"},                            // TAB
    {kVK_Space, 65, false, "Space"},                        // SPCE
    {kVK_ANSI_Grave, 49, false, "Grave"},                   // TLDE: left of 1
    {kVK_Delete, 22, false, "Delete"},                      // BKSP: the Mac's Delete erases backward
    {kVK_Escape, 9, false, "Escape"},                       // ESC
    {kVK_RightCommand, 134, true, "RightCommand"},          // RWIN
    {kVK_Command, 133, true, "Command"},                    // LWIN (Super_L)
    {kVK_Shift, 50, true, "Shift"},                         // LFSH
    {kVK_CapsLock, 66, false, "CapsLock"},                  // CAPS
    {kVK_Option, 64, true, "Option"},                       // LALT
    {kVK_Control, 37, true, "Control"},                     // LCTL
    {kVK_RightShift, 62, true, "RightShift"},               // RTSH
    {kVK_RightOption, 108, true, "RightOption"},            // RALT
    {kVK_RightControl, 105, true, "RightControl"},          // RCTL
    {kVK_F17, 195, false, "F17"},                           // FK17
    {kVK_ANSI_KeypadDecimal, 91, false, "KeypadDecimal"},   // KPDL
    {kVK_ANSI_KeypadMultiply, 63, false, "KeypadMultiply"}, // KPMU
    {kVK_ANSI_KeypadPlus, 86, false, "KeypadPlus"},         // KPAD
    {kVK_ANSI_KeypadClear, 77, false, "KeypadClear"},       // NMLK: Clear sits where Num Lock is
    {kVK_VolumeUp, 123, false, "VolumeUp"},                 // VOL+
    {kVK_VolumeDown, 122, false, "VolumeDown"},             // VOL-
    {kVK_Mute, 121, false, "Mute"},                         // MUTE
    {kVK_ANSI_KeypadDivide, 106, false, "KeypadDivide"},    // KPDV
    {kVK_ANSI_KeypadEnter, 104, false, "KeypadEnter"},      // KPEN
    {kVK_ANSI_KeypadMinus, 82, false, "KeypadMinus"},       // KPSU
    {kVK_F18, 196, false, "F18"},                           // FK18
    {kVK_F19, 197, false, "F19"},                           // FK19
    {kVK_ANSI_KeypadEquals, 125, false, "KeypadEquals"},    // KPEQ
    {kVK_ANSI_Keypad0, 90, false, "Keypad0"},               // KP0
    {kVK_ANSI_Keypad1, 87, false, "Keypad1"},               // KP1
    {kVK_ANSI_Keypad2, 88, false, "Keypad2"},               // KP2
    {kVK_ANSI_Keypad3, 89, false, "Keypad3"},               // KP3
    {kVK_ANSI_Keypad4, 83, false, "Keypad4"},               // KP4
    {kVK_ANSI_Keypad5, 84, false, "Keypad5"},               // KP5
    {kVK_ANSI_Keypad6, 85, false, "Keypad6"},               // KP6
    {kVK_ANSI_Keypad7, 79, false, "Keypad7"},               // KP7
    {kVK_F20, 198, false, "F20"},                           // FK20
    {kVK_ANSI_Keypad8, 80, false, "Keypad8"},               // KP8
    {kVK_ANSI_Keypad9, 81, false, "Keypad9"},               // KP9
    {kVK_JIS_Yen, 132, false, "JIS_Yen"},                   // AE13
    {kVK_JIS_Underscore, 97, false, "JIS_Underscore"},      // AB11 (Ro)
    {kVK_JIS_KeypadComma, 129, false, "JIS_KeypadComma"},   // KPDC
    {kVK_F5, 71, false, "F5"},                              // FK05
    {kVK_F6, 72, false, "F6"},                              // FK06
    {kVK_F7, 73, false, "F7"},                              // FK07
    {kVK_F3, 69, false, "F3"},                              // FK03
    {kVK_F8, 74, false, "F8"},                              // FK08
    {kVK_F9, 75, false, "F9"},                              // FK09
    {kVK_JIS_Eisu, 131, false, "JIS_Eisu"},                 // HJCV (Linux KEY_HANJA, the Lang2 key)
    {kVK_F11, 95, false, "F11"},                            // FK11
    {kVK_JIS_Kana, 130, false, "JIS_Kana"},                 // HNGL (Linux KEY_HANGEUL, the Lang1 key)
    {kVK_F13, 191, false, "F13"},                           // FK13
    {kVK_F16, 194, false, "F16"},                           // FK16
    {kVK_F14, 192, false, "F14"},                           // FK14
    {kVK_F10, 76, false, "F10"},                            // FK10
    {kVK_ContextualMenu, 135, false, "ContextualMenu"},     // COMP (Menu)
    {kVK_F12, 96, false, "F12"},                            // FK12
    {kVK_F15, 193, false, "F15"},                           // FK15
    {kVK_Help, 118, false, "Help"},                         // INS: Help sits where Insert is
    {kVK_Home, 110, false, "Home"},                         // HOME
    {kVK_PageUp, 112, false, "PageUp"},                     // PGUP
    {kVK_ForwardDelete, 119, false, "ForwardDelete"},       // DELE
    {kVK_F4, 70, false, "F4"},                              // FK04
    {kVK_End, 115, false, "End"},                           // END
    {kVK_F2, 68, false, "F2"},                              // FK02
    {kVK_PageDown, 117, false, "PageDown"},                 // PGDN
    {kVK_F1, 67, false, "F1"},                              // FK01
    {kVK_LeftArrow, 113, false, "LeftArrow"},               // LEFT
    {kVK_RightArrow, 114, false, "RightArrow"},             // RGHT
    {kVK_DownArrow, 116, false, "DownArrow"},               // DOWN
    {kVK_UpArrow, 111, false, "UpArrow"},                   // UP
};

constexpr std::size_t kMacKeyCount = 128;

constexpr bool ascendingAndInRange() {
    for (std::size_t i = 0; i < std::size(kMappings); ++i) {
        if (kMappings[i].macKey >= kMacKeyCount) return false;
        if (i > 0 && kMappings[i - 1].macKey >= kMappings[i].macKey) return false;
    }
    return true;
}
static_assert(ascendingAndInRange(), "the table is sorted by macKey, without repeats, below 128");

// Position in kMappings by macKey, -1 for none: built once at compile time.
constexpr std::array<std::int16_t, kMacKeyCount> kIndexByMacKey = [] {
    std::array<std::int16_t, kMacKeyCount> index{};
    index.fill(-1);
    for (std::size_t i = 0; i < std::size(kMappings); ++i)
        index[kMappings[i].macKey] = static_cast<std::int16_t>(i);
    return index;
}();

} // namespace

std::span<const MacKeyMapping> macKeyMappings() {
    return kMappings;
}

const MacKeyMapping* macKeyMapping(std::uint16_t macKey) {
    if (macKey >= kMacKeyCount || kIndexByMacKey[macKey] < 0) return nullptr;
    return &kMappings[kIndexByMacKey[macKey]];
}

std::optional<std::uint8_t> xKeycodeForMacKey(std::uint16_t macKey) {
    const MacKeyMapping* mapping = macKeyMapping(macKey);
    if (!mapping) return std::nullopt;
    return mapping->xKeycode;
}

} // namespace quoddle
