#pragma once
// What Quoddle's own windows answer to a hit test. The accessibility backend never asks AT-SPI about this
// process (a synchronous call to itself from the main loop would block until it times out), so points over
// Quoddle's own windows are answered here, in-process, by the toolkit.

#include "platform/Accessibility.h"
#include "platform/Geometry.h"

#include <optional>
#include <string>

namespace quoddle {

struct OwnWindowHit {
    ax::Role role = ax::Role::window; // a push button, or the window itself
    std::string title;                // a button's label, a window's title
    Rect frame; // in event coordinates: origin at the top-left of the first screen, y downward
};

class OwnWindows {
public:
    virtual ~OwnWindows() = default;
    // The widget of Quoddle's at a point in event coordinates, none when none of its windows is there.
    virtual std::optional<OwnWindowHit> hitTest(Point eventLocation) const = 0;
};

} // namespace quoddle
