#include "platform/linux/Conversions.h"

#include <algorithm>
#include <cmath>

namespace quoddle {

namespace {

// Far beyond any X coordinate (16 bits), near enough that the conversion to int is defined: frames come
// from the user's preferences and may be anything.
constexpr double kPixelLimit = 1 << 20;

int nearestPixel(double value) {
    if (std::isnan(value)) return 0;
    return static_cast<int>(std::floor(std::clamp(value, -kPixelLimit, kPixelLimit) + 0.5));
}

double overlapArea(const Rect& a, const Rect& b) {
    const double width = std::min(a.maxX(), b.maxX()) - std::max(a.minX(), b.minX());
    const double height = std::min(a.maxY(), b.maxY()) - std::max(a.minY(), b.minY());
    return width > 0 && height > 0 ? width * height : 0;
}

} // namespace

Point windowPointOfEventPoint(Point eventPoint, double firstScreenHeight) {
    return Point{eventPoint.x, firstScreenHeight - eventPoint.y};
}

Point eventPointOfWindowPoint(Point windowPoint, double firstScreenHeight) {
    return Point{windowPoint.x, firstScreenHeight - windowPoint.y};
}

Rect windowRectOfTopLeftRect(const Rect& topLeftRect, double firstScreenHeight) {
    // The bottom edge of the top-left form becomes the origin's y.
    return Rect{{topLeftRect.minX(), firstScreenHeight - topLeftRect.maxY()}, topLeftRect.size};
}

Rect topLeftRectOfWindowRect(const Rect& windowRect, double firstScreenHeight) {
    return Rect{{windowRect.minX(), firstScreenHeight - windowRect.maxY()}, windowRect.size};
}

std::size_t firstScreenIndex(const std::vector<Rect>& topLeftScreens, std::size_t primaryIndex) {
    if (topLeftScreens.empty()) return 0;
    if (primaryIndex >= topLeftScreens.size()) primaryIndex = 0;
    for (std::size_t i = 0; i < topLeftScreens.size(); ++i)
        if (topLeftScreens[i].origin == Point{0, 0}) return i;
    if (topLeftScreens[primaryIndex].minY() == 0) return primaryIndex;
    for (std::size_t i = 0; i < topLeftScreens.size(); ++i)
        if (topLeftScreens[i].minY() == 0) return i;
    return primaryIndex;
}

double firstScreenHeightOf(const std::vector<Rect>& topLeftScreens, std::size_t primaryIndex) {
    if (topLeftScreens.empty()) return 0;
    return topLeftScreens[firstScreenIndex(topLeftScreens, primaryIndex)].size.height;
}

std::vector<Rect> windowScreenFrames(const std::vector<Rect>& topLeftScreens, std::size_t primaryIndex) {
    std::vector<Rect> frames;
    if (topLeftScreens.empty()) return frames;
    const std::size_t first = firstScreenIndex(topLeftScreens, primaryIndex);
    const double height = topLeftScreens[first].size.height;
    frames.reserve(topLeftScreens.size());
    frames.push_back(windowRectOfTopLeftRect(topLeftScreens[first], height));
    for (std::size_t i = 0; i < topLeftScreens.size(); ++i)
        if (i != first) frames.push_back(windowRectOfTopLeftRect(topLeftScreens[i], height));
    return frames;
}

PixelRect pixelRectOfTopLeftRect(const Rect& topLeftRect) {
    const int left = nearestPixel(topLeftRect.minX());
    const int top = nearestPixel(topLeftRect.minY());
    const int right = nearestPixel(topLeftRect.maxX());
    const int bottom = nearestPixel(topLeftRect.maxY());
    return PixelRect{left, top, std::max(right - left, 0), std::max(bottom - top, 0)};
}

std::optional<Rect> screenHoldingMostOf(const Rect& rect, const std::vector<Rect>& screens) {
    std::optional<Rect> best;
    double bestArea = 0;
    for (const Rect& screen : screens) {
        const double area = overlapArea(rect, screen);
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    return best;
}

} // namespace quoddle
