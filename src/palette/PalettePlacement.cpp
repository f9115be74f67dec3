#include "palette/PalettePlacement.h"

#include <algorithm>

namespace quoddle {

namespace {

Point screenPointOfEventPoint(Point eventPoint, const std::vector<Rect>& screens) {
    const Rect first = screens.empty() ? Rect{} : screens.front();
    return Point{eventPoint.x, first.maxY() - eventPoint.y};
}

Rect screenUnderPointer(Point pointer, const std::vector<Rect>& screens, const Rect& fallback) {
    for (const Rect& screen : screens)
        if (mouseInRect(pointer, screen)) return screen;
    return fallback;
}

} // namespace

bool mouseInRect(Point point, const Rect& rect) {
    return point.x >= rect.minX() && point.x < rect.maxX() && point.y > rect.minY() && point.y <= rect.maxY();
}

Point paletteOriginBesidePointer(Size palette, Point pointerInEventCoordinates,
                                 const std::vector<Rect>& screens, const Rect& paletteScreen,
                                 std::int32_t margin) {
    const Point pointer = screenPointOfEventPoint(pointerInEventCoordinates, screens);
    const Rect screen = screenUnderPointer(pointer, screens, paletteScreen);
    const double m = margin;
    double x = pointer.x + m;
    double y = pointer.y - 0.5 * palette.height;
    // Too close to the right edge: open to the left, the right edge `margin` points from the pointer.
    if (x + palette.width + m > screen.maxX()) x = x - palette.width - 2 * m;
    if (y + palette.height > screen.maxY()) y = screen.maxY() - palette.height;
    // The left and bottom edges stay on the screen, even when that pushes the palette off the top.
    return Point{std::max(screen.minX(), x), std::max(screen.minY(), y)};
}

} // namespace quoddle
