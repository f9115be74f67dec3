#pragma once
// Helpers over the accessibility port: hit testing under the pointer, reading attributes, finding children
// by index, title or role, and turning values into short texts. Every failure is an absent result.

#include "platform/Accessibility.h"
#include "platform/EventTap.h"

#include <optional>
#include <string>
#include <vector>

namespace quoddle {

class UIElement {
public:
    UIElement(Accessibility& accessibility, Pointer& pointer)
        : accessibility_(accessibility), pointer_(pointer) {}

    Accessibility& accessibility() { return accessibility_; }

    void set_systemWideElement();
    AXUIElementRef copyUIElementAtMouse();
    AXUIElementRef copyUIElementAtXY(float x, float y);
    // Also answers the requests "lineage" and "actions".
    std::optional<AXAttributeValue> copyValueOfExistingAttribute(const std::string& attribute,
                                                                 const AXUIElementRef& element);
    std::optional<std::string> descriptionOfValue(const std::optional<AXAttributeValue>& value, bool verbose);
    AXUIElementRef copyIndexElementInChildren(const AXUIElementRef& element, std::int32_t index);
    AXUIElementRef copyTitleElementInChildren(const AXUIElementRef& element,
                                              const std::vector<std::string>& titles);
    AXUIElementRef copyRoleElementInChildren(const AXUIElementRef& element, const std::string& role);
    // An attribute the element does not list is never read.
    std::optional<AXAttributeValue> valueOfAttribute(const std::string& attribute,
                                                     const AXUIElementRef& element);
    std::optional<std::vector<std::string>> attributeNamesOfUIElement(const AXUIElementRef& element);

    std::vector<std::string> lineageOfUIElement(const AXUIElementRef& element);
    std::string lineageDescriptionOfUIElement(const AXUIElementRef& element);

private:
    Accessibility& accessibility_;
    Pointer& pointer_;
    AXUIElementRef _systemWideElement;
};

std::string stringDescriptionOfAXValue(const AXAttributeValue& value, bool verbose);

} // namespace quoddle
