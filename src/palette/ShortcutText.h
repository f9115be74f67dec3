#pragma once
// The shortcut text: one definition or comment per line. A definition is a label, a type, a value and any
// number of modifier and flag words, separated by runs of tabs. Its buttons fill a grid at the palette's top.

#include "platform/Geometry.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quoddle {

inline constexpr const char* kServiceLineType = "service";
inline constexpr const char* kCharacterLineType = "char";
inline constexpr const char* kKeyCodeLineType = "keyCode";

inline constexpr const char* kDontHideWindowWord = "DontHideWindow";
inline constexpr const char* kShowShortcutOnlyWord = "ShowShortcutOnly";
inline constexpr const char* kStopAutoHideWindowWord = "StopAutoHideWindow";

// The modifier words with their virtual key codes, in the order they go down and come up again.
struct ShortcutModifier {
    const char* word;
    std::uint16_t keyCode;
};
inline constexpr std::array<ShortcutModifier, 4> kShortcutModifiers{
    {{"command", 55}, {"shift", 56}, {"control", 59}, {"option", 58}}};

bool isShortcutCommentLine(const std::string& line);
// The fields of a definition line, split on runs of tabs (none for an empty or all-tab line).
std::vector<std::string> shortcutFieldsOfLine(const std::string& line);
// At least a label and a type, and the label is not empty.
bool makesShortcutButton(const std::vector<std::string>& fields);
// A word counts wherever it stands on the line, label and value included.
bool shortcutLineHasWord(const std::vector<std::string>& fields, const std::string& word);
// The key codes of the modifier words on the line, in pressing order.
std::vector<std::uint16_t> shortcutModifierKeyCodes(const std::vector<std::string>& fields);
// The value of every "service" line that has one, in text order, whatever its label.
std::vector<std::string> shortcutServiceNames(const std::string& text);

struct ShortcutButtonPlan {
    std::vector<std::string> fields;
    Rect frame; // content-view coordinates, origin at the top-left
};

struct ShortcutLayout {
    std::vector<ShortcutButtonPlan> buttons;
    std::int64_t slots = 0; // buttons and comment lines
    std::int32_t lines = 0; // grid rows, rounded up
};

// Lays the text out in a grid of `perLine` columns (at least 1) on a palette of the given width.
ShortcutLayout layOutShortcutText(const std::string& text, std::int32_t perLine, double paletteWidth);

} // namespace quoddle
