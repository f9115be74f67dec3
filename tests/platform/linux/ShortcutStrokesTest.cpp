// What a shortcut's key stroke does in a terminal, where other applications' editing keys are signals.
#include "platform/linux/ShortcutStrokes.h"
#include "platform/linux/session/LinuxLocalization.h"

#include <gtest/gtest.h>

#include <map>

namespace quoddle {
namespace {

constexpr std::uint16_t kC = 8, kX = 7, kV = 9, kA = 0, kZ = 6, kQ = 12;

class Layout : public KeyboardLayout {
public:
    std::optional<char16_t> characterForKeyCode(std::uint16_t key) const override {
        static const std::map<std::uint16_t, char16_t> keys{{kC, u'c'}, {kX, u'x'}, {kV, u'v'},
                                                            {kA, u'a'}, {kZ, u'z'}, {kQ, u'q'}};
        auto it = keys.find(key);
        return it == keys.end() ? std::nullopt : std::optional(it->second);
    }
};

class Services : public LinuxLocalizedAppServices {
public:
    void beep() override { ++beeps; }
    void explain(const std::string& line) override { explained.push_back(line); }
    int beeps = 0;
    std::vector<std::string> explained;
};

using T = ShortcutStrokes::Terminal;
KeyStroke control(std::uint16_t key) {
    return KeyStroke{{kControlKeyCode}, key};
}
KeyStroke shiftControl(std::uint16_t key) {
    return KeyStroke{{kShiftKeyCode, kControlKeyCode}, key};
}

struct Case {
    const char* name;
    T terminal;
    KeyStroke stroke;
    std::optional<std::string> selection; // what the terminal's selection reads as
    std::optional<KeyStroke> posted;      // none: nothing posted
    bool copied;                          // the selection went onto the clipboard
};

const Case kCases[] = {
    {"CopyElsewhereIsTheKey", T::none, control(kC), "words", control(kC), false},
    // Copy takes the selection whatever the terminal (xterm's is PRIMARY); Undo stands for every other
    // Control key.
    {"CopyInATerminalTakesTheSelection", T::accessible, control(kC), "words", std::nullopt, true},
    {"CutInATerminalCopies", T::accessible, control(kX), "words", std::nullopt, true},
    {"CopyOfAnUnreadableSelectionIsRefused", T::accessible, control(kC), std::nullopt, std::nullopt, false},
    {"PasteInVteIsShiftControlV", T::accessible, control(kV), std::nullopt, shiftControl(kV), false},
    {"AllInVteIsShiftControlA", T::accessible, control(kA), std::nullopt, shiftControl(kA), false},
    {"UndoInATerminalIsRefused", T::accessible, control(kZ), std::nullopt, std::nullopt, false},
    {"VtesOwnShiftControlKeysPass", T::accessible, shiftControl(kC), std::nullopt, shiftControl(kC), false},
    {"PasteInXtermIsShiftInsert", T::plain, control(kV), std::nullopt, KeyStroke{{kShiftKeyCode}, 0x72},
     false},
    {"ShiftControlCInXtermIsRefused", T::plain, shiftControl(kC), std::nullopt, std::nullopt, false},
    {"AllInXtermIsRefused", T::plain, control(kA), std::nullopt, std::nullopt, false},
    {"PlainKeysReachATerminal", T::plain, KeyStroke{{}, kQ}, std::nullopt, KeyStroke{{}, kQ}, false},
};

// A refusal beeps and says why, once.
TEST(ShortcutStrokes, DoWhatTheyMeanWithoutSignallingATerminalsProgram) {
    const Layout layout;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Services services;
        std::vector<KeyStroke> posted;
        std::vector<std::string> clipboard;
        ShortcutStrokes strokes(layout, services,
                                {[&](ProcessId) { return c.terminal; },
                                 [&](ProcessId) { return c.selection; },
                                 [&](const std::string& text) { clipboard.push_back(text); },
                                 [&](const KeyStroke& stroke) {
                                     posted.push_back(stroke);
                                     return ax::Error::success;
                                 }});
        const ax::Error result = strokes.post(42, c.stroke);
        ASSERT_EQ(posted.size(), c.posted ? 1u : 0u);
        EXPECT_TRUE(!c.posted ||
                    (posted[0].modifiers == c.posted->modifiers && posted[0].key == c.posted->key));
        EXPECT_EQ(clipboard, c.copied ? std::vector<std::string>{*c.selection} : std::vector<std::string>{});
        const bool refused = !c.posted && !c.copied;
        EXPECT_EQ(result == ax::Error::success, !refused);
        EXPECT_EQ(services.beeps, refused ? 1 : 0);
        EXPECT_EQ(services.explained.size(), refused ? 1u : 0u);
    }
}

} // namespace
} // namespace quoddle
