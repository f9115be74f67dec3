#pragma once
// Readable points and rectangles in test failures.

#include "platform/Geometry.h"

#include <ostream>

namespace quoddle {

inline void PrintTo(const Point& p, std::ostream* os) {
    *os << "(" << p.x << ", " << p.y << ")";
}
inline void PrintTo(const Size& s, std::ostream* os) {
    *os << s.width << " x " << s.height;
}
inline void PrintTo(const Rect& r, std::ostream* os) {
    PrintTo(r.origin, os);
    *os << " ";
    PrintTo(r.size, os);
}

} // namespace quoddle
