#pragma once
// Where the palette opens: `margin` points right of the pointer and centred on it, kept within the screen
// under the pointer. Screen coordinates (origin bottom-left of the first screen, y upward) throughout,
// except the pointer, which comes in event coordinates (origin top-left of the first screen, y downward).

#include "platform/Geometry.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace quoddle {

// The unflipped mouse-in-rectangle rule: minX <= x < maxX and minY < y <= maxY.
bool mouseInRect(Point point, const Rect& rect);

// The palette's origin. `screens` is the screen list (the first holds the event origin); `paletteScreen`
// is the reference when the pointer is on no screen.
Point paletteOriginBesidePointer(Size palette, Point pointerInEventCoordinates,
                                 const std::vector<Rect>& screens, const Rect& paletteScreen,
                                 std::int32_t margin);

} // namespace quoddle
