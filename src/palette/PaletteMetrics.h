#pragma once
// The palette's row arithmetic, shared by the shortcut grid and the service buttons. Values that come from
// the user's preferences may be anything, so sums and products are taken in 64 bits or in doubles.

#include "platform/Geometry.h"
#include "platform/Ui.h"

#include <cstdint>

namespace quoddle {

// The margin at the palette's edges and between its buttons, and the height of every button, in points.
inline constexpr std::int32_t kButtonMargin = 6;
inline constexpr std::int32_t kButtonHeight = 20;
inline constexpr std::int64_t kRowHeight = kButtonHeight + kButtonMargin;

// An integer preference used as a 32-bit signed value: the low 32 bits, as the platform's int would keep.
constexpr std::int32_t asInt32(std::int64_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

// Height of a content area holding `rows` rows of buttons: a margin above each row and one below the last.
double contentHeightForRows(std::int64_t rows);

// Frame (content-view coordinates, origin top-left) of the service button with the given index, standing
// below `shortcutLines` rows of shortcut buttons on a palette of the given width.
Rect serviceButtonFrame(std::int64_t index, std::int64_t shortcutLines, double paletteWidth);

// Resizes the palette so its content area is `contentHeight` high, adding the height its frame takes beyond
// the content view (a title bar, say). The origin and the width stay.
void setPaletteContentHeight(PaletteWindow& window, double contentHeight, bool display);

// Shrinks or grows the palette to `rows` rows of content, keeping its top edge (truncated to a whole point)
// where it is, and redraws it.
void setPaletteRowsKeepingTop(PaletteWindow& window, std::int64_t rows);

} // namespace quoddle
