#include "platform/Accessibility.h"

namespace quoddle {

AXValueType AXAttributeValue::axValueType() const {
    if (is<AXPointValue>()) return AXValueType::cgPoint;
    if (is<AXSizeValue>()) return AXValueType::cgSize;
    if (is<AXRectValue>()) return AXValueType::cgRect;
    if (is<AXRangeValue>()) return AXValueType::cfRange;
    return AXValueType::illegal;
}

} // namespace quoddle
