#include "palette/PaletteMetrics.h"

#include <cmath>

namespace quoddle {

namespace {
// Frame height minus content height, as the window has it now.
double frameAllowance(const PaletteWindow& window) {
    return window.frame().size.height - window.contentViewFrame().size.height;
}
} // namespace

double contentHeightForRows(std::int64_t rows) {
    return static_cast<double>(rows) * kRowHeight + kButtonMargin;
}

Rect serviceButtonFrame(std::int64_t index, std::int64_t shortcutLines, double paletteWidth) {
    const double y = static_cast<double>(index + shortcutLines) * kRowHeight + kButtonMargin;
    return Rect{{kButtonMargin, y}, {paletteWidth - 2 * kButtonMargin, kButtonHeight}};
}

void setPaletteContentHeight(PaletteWindow& window, double contentHeight, bool display) {
    Rect frame = window.frame();
    frame.size.height = contentHeight + frameAllowance(window);
    window.setFrame(frame, display);
}

void setPaletteRowsKeepingTop(PaletteWindow& window, std::int64_t rows) {
    Rect frame = window.frame();
    const double top = std::trunc(frame.maxY());
    frame.size.height = contentHeightForRows(rows) + frameAllowance(window);
    frame.origin.y = top - frame.size.height;
    window.setFrame(frame, true);
}

} // namespace quoddle
