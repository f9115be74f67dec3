#include "platform/linux/x11/X11KeyboardLayout.h"

#include "platform/linux/x11/KeyCodeTranslation.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace quoddle {

namespace {

constexpr unsigned long kUnicodeKeysymBase = 0x01000000;

struct KeypadCharacter {
    unsigned long keysym;
    char16_t character;
};

constexpr KeypadCharacter kKeypadCharacters[] = {
    {XK_KP_Space, u' '},     {XK_KP_Equal, u'='},    {XK_KP_Multiply, u'*'}, {XK_KP_Add, u'+'},
    {XK_KP_Separator, u','}, {XK_KP_Subtract, u'-'}, {XK_KP_Decimal, u'.'},  {XK_KP_Divide, u'/'},
};

} // namespace

std::optional<char16_t> characterOfKeysym(unsigned long keysym) {
    if ((keysym >= 0x20 && keysym <= 0x7e) || (keysym >= 0xa0 && keysym <= 0xff))
        return static_cast<char16_t>(keysym);
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return static_cast<char16_t>(u'0' + (keysym - XK_KP_0));
    for (const KeypadCharacter& entry : kKeypadCharacters)
        if (entry.keysym == keysym) return entry.character;
    if ((keysym & 0xFF000000ul) == kUnicodeKeysymBase) {
        const unsigned long cp = keysym & 0x00FFFFFFul;
        const bool control = cp < 0x20 || (cp >= 0x7f && cp < 0xa0);
        const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
        if (control || surrogate || cp > 0xFFFF) return std::nullopt;
        return static_cast<char16_t>(cp);
    }
    return std::nullopt;
}

std::optional<char16_t> X11KeyboardLayout::characterForKeyCode(std::uint16_t virtualKey) const {
    std::optional<std::uint8_t> keycode = xKeycodeForMacKey(virtualKey);
    if (!display_ || !keycode) return std::nullopt;
    // Answered from Xlib's copy of the keyboard map; only the first call asks the server.
    const KeySym keysym = XkbKeycodeToKeysym(display_, *keycode, 0, 0);
    // Keypad keys are keys of their own to Linux toolkits (Ctrl+KP_Subtract is not Ctrl+minus): a "char"
    // line's character is typed on the main keys, even where the keypad has the higher code.
    if (keysym == NoSymbol || IsKeypadKey(keysym)) return std::nullopt;
    return characterOfKeysym(keysym);
}

} // namespace quoddle
