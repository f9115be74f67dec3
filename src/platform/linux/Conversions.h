#pragma once
// Coordinate conversions between the core and the X11 desktop, in one place.
//
// The core places windows in window-system coordinates: origin at the bottom-left of the first screen, y
// upward, a rectangle's origin its bottom-left corner. X root and Qt global coordinates have the origin at
// the top-left, y downward, a rectangle's origin its top-left corner; the core's event coordinates are
// exactly these. The two differ by a flip about the first screen's bottom edge, which, the first screen
// having its top at y = 0, lies at y = the first screen's height. The flip is its own inverse.
//
// Plain geometry only (no toolkit types), so every rule here is tested without a display.

#include "platform/Geometry.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace quoddle {

// A point between event (top-left origin) and window-system (bottom-left origin) coordinates.
Point windowPointOfEventPoint(Point eventPoint, double firstScreenHeight);
Point eventPointOfWindowPoint(Point windowPoint, double firstScreenHeight);

// A rectangle between top-left form (event coordinates, origin its top-left corner) and window-system form
// (origin its bottom-left corner).
Rect windowRectOfTopLeftRect(const Rect& topLeftRect, double firstScreenHeight);
Rect topLeftRectOfWindowRect(const Rect& windowRect, double firstScreenHeight);

// Which of the screens (top-left form, as X and Qt list them) is the core's first screen: the one whose
// top-left is the root origin; else one whose top edge is at y = 0, the primary preferred, so the flip
// still matches the event origin; else the primary. Zero for an empty list.
std::size_t firstScreenIndex(const std::vector<Rect>& topLeftScreens, std::size_t primaryIndex);

// The screens in the core's order and form: the first screen first, the others in their order, each in
// window-system coordinates.
std::vector<Rect> windowScreenFrames(const std::vector<Rect>& topLeftScreens, std::size_t primaryIndex);

// The flip height for the screens (the first screen's height), 0 when there are none.
double firstScreenHeightOf(const std::vector<Rect>& topLeftScreens, std::size_t primaryIndex);

// Whole pixels for a window: each edge rounded to the nearest pixel (halves toward +infinity), so adjacent
// rectangles stay adjacent and a whole-numbered size stays that size wherever the rectangle lies.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};
PixelRect pixelRectOfTopLeftRect(const Rect& topLeftRect);

// Of the screens, the one that holds most of the rectangle (both in the same coordinates); none when the
// rectangle overlaps none. On a tie the earlier screen wins.
std::optional<Rect> screenHoldingMostOf(const Rect& rect, const std::vector<Rect>& screens);

} // namespace quoddle
