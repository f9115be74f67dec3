#pragma once
// What a shortcut button's key stroke does in the application in front. Posted as it is, except in a
// terminal, where the editing shortcuts of other applications are signals or bytes for the program running
// there (Control+C interrupts it, Control+Z suspends it, Control+X quits an editor): there Copy and Cut put
// the selection on the clipboard without a key, and no Control stroke reaches the program. A terminal that
// shows its text through accessibility (VTE's) pastes and selects all with Shift+Control+V and A; one that
// does not (xterm's kind, whose Shift+Control+C is a signal too) pastes with Shift+Insert.
//
// No key reaches a Wayland window from here (XTest reaches X clients only): there Copy, Cut and Paste act on
// the text through accessibility, and other strokes are refused with the reason.

#include "platform/Accessibility.h"
#include "platform/AppServices.h"
#include "platform/Ui.h"

#include <functional>
#include <optional>
#include <string>

namespace quoddle {

class ShortcutStrokes {
public:
    enum class Terminal { none, accessible, plain };
    struct Hooks {
        std::function<Terminal(ProcessId)> terminalOf;
        // The text selected in the application of the process, read now; none when it cannot be read.
        std::function<std::optional<std::string>(ProcessId)> selectedText;
        std::function<void(const std::string&)> copyToClipboard;
        std::function<ax::Error(const KeyStroke&)> post;
        // Whether the process's windows are out of reach of posted keys (Wayland clients).
        std::function<bool(ProcessId)> takesNoKeys;
        // Edit the selection through accessibility: delete it, or replace it with the clipboard's text.
        std::function<bool(ProcessId)> deleteSelection;
        std::function<bool(ProcessId)> pasteClipboard;
    };

    ShortcutStrokes(const KeyboardLayout& layout, AppServices& appServices, Hooks hooks)
        : layout_(layout), appServices_(appServices), hooks_(std::move(hooks)) {}

    ax::Error post(ProcessId pid, const KeyStroke& stroke);

private:
    ax::Error inTerminal(Terminal terminal, ProcessId pid, const KeyStroke& stroke, char16_t key);
    ax::Error withoutKeys(ProcessId pid, const KeyStroke& stroke);
    // Puts the process's selection on the clipboard without a key; false when it cannot be read.
    bool copySelection(ProcessId pid);
    ax::Error refuse(const std::string& why);

    const KeyboardLayout& layout_;
    AppServices& appServices_;
    Hooks hooks_;
};

} // namespace quoddle
