#include "palette/ShortcutText.h"

#include "palette/PaletteMetrics.h"
#include "support/Regex.h"
#include "support/TextLines.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quoddle {

namespace {

// (W - m) / n - m in floating point, truncated toward zero; held within 32 bits for absurd widths.
std::int64_t shortcutButtonWidth(double paletteWidth, std::int32_t perLine) {
    const double width = std::trunc((paletteWidth - kButtonMargin) / perLine - kButtonMargin);
    constexpr double lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    if (std::isnan(width)) return 0;
    return static_cast<std::int64_t>(std::clamp(width, lowest, highest));
}

Rect shortcutSlotFrame(std::int64_t slot, std::int64_t perLine, std::int64_t buttonWidth) {
    const std::int64_t x = (slot % perLine) * (buttonWidth + kButtonMargin) + kButtonMargin;
    const std::int64_t y = (slot / perLine) * kRowHeight + kButtonMargin;
    return Rect{{static_cast<double>(x), static_cast<double>(y)},
                {static_cast<double>(buttonWidth), static_cast<double>(kButtonHeight)}};
}

std::int32_t rowsForSlots(std::int64_t slots, std::int64_t perLine) {
    const std::int64_t rows = slots / perLine + (slots % perLine != 0 ? 1 : 0);
    return static_cast<std::int32_t>(std::min<std::int64_t>(rows, std::numeric_limits<std::int32_t>::max()));
}

} // namespace

bool isShortcutCommentLine(const std::string& line) {
    return !line.empty() && line.front() == '#';
}

std::vector<std::string> shortcutFieldsOfLine(const std::string& line) {
    return splitByPattern(line, "\t+").value_or(std::vector<std::string>{});
}

bool makesShortcutButton(const std::vector<std::string>& fields) {
    return fields.size() >= 2 && !fields.front().empty();
}

bool shortcutLineHasWord(const std::vector<std::string>& fields, const std::string& word) {
    return std::find(fields.begin(), fields.end(), word) != fields.end();
}

std::vector<std::uint16_t> shortcutModifierKeyCodes(const std::vector<std::string>& fields) {
    std::vector<std::uint16_t> keyCodes;
    for (const ShortcutModifier& modifier : kShortcutModifiers)
        if (shortcutLineHasWord(fields, modifier.word)) keyCodes.push_back(modifier.keyCode);
    return keyCodes;
}

std::vector<std::string> shortcutServiceNames(const std::string& text) {
    std::vector<std::string> names;
    forEachLineOfText(text, [&](std::string_view view) {
        const std::string line(view);
        if (isShortcutCommentLine(line)) return;
        std::vector<std::string> fields = shortcutFieldsOfLine(line);
        if (fields.size() > 2 && fields[1] == kServiceLineType) names.push_back(fields[2]);
    });
    return names;
}

ShortcutLayout layOutShortcutText(const std::string& text, std::int32_t perLine, double paletteWidth) {
    const std::int64_t n = std::max<std::int32_t>(perLine, 1);
    const std::int64_t buttonWidth = shortcutButtonWidth(paletteWidth, static_cast<std::int32_t>(n));
    ShortcutLayout layout;
    forEachLineOfText(text, [&](std::string_view view) {
        const std::string line(view);
        if (isShortcutCommentLine(line)) {
            ++layout.slots;
            return;
        }
        std::vector<std::string> fields = shortcutFieldsOfLine(line);
        if (!makesShortcutButton(fields)) return;
        layout.buttons.push_back(
            ShortcutButtonPlan{std::move(fields), shortcutSlotFrame(layout.slots, n, buttonWidth)});
        ++layout.slots;
    });
    layout.lines = rowsForSlots(layout.slots, n);
    return layout;
}

} // namespace quoddle
