#include "platform/linux/ShortcutStrokes.h"

#include <algorithm>

namespace quoddle {

namespace {

// The key where Insert is (the original platform's Help key).
constexpr std::uint16_t kInsertKeyCode = 0x72;

bool holdsExactly(const KeyStroke& stroke, std::initializer_list<std::uint16_t> modifiers) {
    if (stroke.modifiers.size() != modifiers.size()) return false;
    return std::all_of(modifiers.begin(), modifiers.end(), [&](std::uint16_t modifier) {
        return std::find(stroke.modifiers.begin(), stroke.modifiers.end(), modifier) !=
               stroke.modifiers.end();
    });
}

char16_t lowercase(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

} // namespace

ax::Error ShortcutStrokes::post(ProcessId pid, const KeyStroke& stroke) {
    if (hooks_.takesNoKeys && hooks_.takesNoKeys(pid)) return withoutKeys(pid, stroke);
    const Terminal terminal = hooks_.terminalOf ? hooks_.terminalOf(pid) : Terminal::none;
    if (terminal == Terminal::none || !stroke.key) return hooks_.post(stroke);
    const std::optional<char16_t> key = layout_.characterForKeyCode(*stroke.key);
    if (!key) return hooks_.post(stroke);
    return inTerminal(terminal, pid, stroke, lowercase(*key));
}

ax::Error ShortcutStrokes::inTerminal(Terminal terminal, ProcessId pid, const KeyStroke& stroke,
                                      char16_t key) {
    const bool control = std::find(stroke.modifiers.begin(), stroke.modifiers.end(), kControlKeyCode) !=
                         stroke.modifiers.end();
    if (!control) return hooks_.post(stroke);
    const std::string name = std::string("Control+") + static_cast<char>(key < 0x80 ? key : u'?');
    if (!holdsExactly(stroke, {kControlKeyCode})) {
        // VTE's own shortcuts are its Shift+Control ones; in xterm's kind those too are signals.
        if (terminal == Terminal::accessible && holdsExactly(stroke, {kShiftKeyCode, kControlKeyCode}))
            return hooks_.post(stroke);
        return refuse("Shift+" + name + " and the like are not posted to this terminal");
    }
    switch (key) {
    case u'c':
    case u'x':
        // A terminal's text is not the user's to cut: both copy.
        if (copySelection(pid)) return ax::Error::success;
        return refuse("the selection in the terminal cannot be read, and " + name + " is not posted to it");
    case u'v':
        if (terminal == Terminal::plain) return hooks_.post(KeyStroke{{kShiftKeyCode}, kInsertKeyCode});
        return hooks_.post(KeyStroke{{kShiftKeyCode, kControlKeyCode}, stroke.key});
    case u'a':
        if (terminal == Terminal::accessible)
            return hooks_.post(KeyStroke{{kShiftKeyCode, kControlKeyCode}, stroke.key});
        return refuse(name + " is not posted to a terminal");
    default:
        return refuse(name + " is not posted to a terminal");
    }
}

ax::Error ShortcutStrokes::withoutKeys(ProcessId pid, const KeyStroke& stroke) {
    const std::optional<char16_t> key = stroke.key ? layout_.characterForKeyCode(*stroke.key) : std::nullopt;
    const char16_t letter = key ? lowercase(*key) : u'?';
    if (holdsExactly(stroke, {kControlKeyCode}) && (letter == u'c' || letter == u'x')) {
        if (!copySelection(pid)) return refuse("the selection in the Wayland window cannot be read");
        if (letter == u'x' && !hooks_.deleteSelection(pid))
            return refuse("the selection was copied, but the Wayland window did not let it be deleted");
        return ax::Error::success;
    }
    if (holdsExactly(stroke, {kControlKeyCode}) && letter == u'v')
        return hooks_.pasteClipboard(pid) ? ax::Error::success
                                          : refuse("the Wayland window did not take the clipboard's text");
    return refuse("keys cannot be posted to a Wayland window: only Copy, Cut and Paste work there");
}

bool ShortcutStrokes::copySelection(ProcessId pid) {
    std::optional<std::string> text = hooks_.selectedText(pid);
    if (text) hooks_.copyToClipboard(*text);
    return text.has_value();
}

ax::Error ShortcutStrokes::refuse(const std::string& why) {
    appServices_.beep();
    appServices_.explain("no key: " + why);
    return ax::Error::cannotComplete;
}

} // namespace quoddle
