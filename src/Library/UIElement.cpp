#include "Library/UIElement.h"

#include <algorithm>
#include <cstdio>

namespace quoddle {

namespace {

// Parent chains come from other applications: they may loop (through distinct handles) or run deep.
constexpr std::size_t kMaxLineageDepth = 64;

template <typename... Args> std::string format(const char* pattern, Args... args) {
    const int length = std::snprintf(nullptr, 0, pattern, args...);
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, args...);
    return text;
}

std::string arrayDescription(const AXArray& array) {
    return "<array of size " + std::to_string(array.size()) + ">";
}

// What printing the value itself gives; reads nothing from the platform, so it cannot recurse.
std::string ownDescription(const AXAttributeValue& value) {
    if (value.axValueType() != AXValueType::illegal) return stringDescriptionOfAXValue(value, true);
    if (auto text = value.get<std::string>()) return *text;
    if (auto number = value.get<std::int64_t>()) return std::to_string(*number);
    if (auto real = value.get<double>()) return format("%g", *real);
    if (auto flag = value.get<bool>()) return *flag ? "1" : "0";
    if (auto array = value.get<AXArray>()) return arrayDescription(*array);
    if (auto opaque = value.get<AXOpaqueValue>()) return opaque->description;
    return "<AXUIElement>";
}

bool isEmptyString(const AXAttributeValue& value) {
    auto text = value.get<std::string>();
    return text && text->empty();
}

// The element's "AXChildren"; none when they cannot be read or are not a list.
std::optional<AXArray> childrenOf(Accessibility& accessibility, const AXUIElementRef& element) {
    auto children = accessibility.copyAttributeValue(element, "AXChildren");
    if (!children) return std::nullopt;
    auto array = children.value.get<AXArray>();
    if (!array) return std::nullopt;
    return *array;
}

// The first child whose string value of the attribute equals one of the candidates.
AXUIElementRef copyFirstChildWithValue(UIElement& helpers, const AXUIElementRef& element,
                                       const std::string& attribute,
                                       const std::vector<std::string>& candidates) {
    auto children = childrenOf(helpers.accessibility(), element);
    if (!children) return nullptr;
    for (const auto& entry : *children) {
        auto child = entry.get<AXUIElementRef>();
        if (!child || !*child) continue;
        auto value = helpers.copyValueOfExistingAttribute(attribute, *child);
        auto text = value ? value->get<std::string>() : nullptr;
        if (text && std::find(candidates.begin(), candidates.end(), *text) != candidates.end()) return *child;
    }
    return nullptr;
}

} // namespace

std::string stringDescriptionOfAXValue(const AXAttributeValue& value, bool verbose) {
    if (auto point = value.get<AXPointValue>())
        return format(verbose ? "<AXPointValue x=%g y=%g>" : "x=%g y=%g", point->x, point->y);
    if (auto size = value.get<AXSizeValue>())
        return format(verbose ? "<AXSizeValue w=%g h=%g>" : "w=%g h=%g", size->width, size->height);
    if (auto rect = value.get<AXRectValue>())
        return format(verbose ? "<AXRectValue  x=%g y=%g w=%g h=%g>" : "x=%g y=%g w=%g h=%g", rect->x,
                      rect->y, rect->width, rect->height);
    if (auto range = value.get<AXRangeValue>())
        return format(verbose ? "<AXRangeValue pos=%ld len=%ld>" : "pos=%ld len=%ld", range->location,
                      range->length);
    return "AXValue???";
}

void UIElement::set_systemWideElement() {
    if (!_systemWideElement) _systemWideElement = accessibility_.createSystemWide();
}

AXUIElementRef UIElement::copyUIElementAtMouse() {
    const Point location = pointer_.eventLocation();
    return copyUIElementAtXY(static_cast<float>(location.x), static_cast<float>(location.y));
}

AXUIElementRef UIElement::copyUIElementAtXY(float x, float y) {
    set_systemWideElement();
    auto hit = accessibility_.copyElementAtPosition(_systemWideElement, x, y);
    return hit ? hit.value : nullptr;
}

std::optional<AXAttributeValue> UIElement::copyValueOfExistingAttribute(const std::string& attribute,
                                                                        const AXUIElementRef& element) {
    if (attribute.empty()) return std::nullopt;
    if (attribute == "lineage") {
        if (!element) return std::nullopt;
        return lineageDescriptionOfUIElement(element);
    }
    if (attribute == "actions") {
        auto names = accessibility_.copyActionNames(element);
        if (!names) return std::nullopt;
        std::string lines;
        for (const auto& name : names.value)
            lines += name + "\n";
        return lines;
    }
    auto value = accessibility_.copyAttributeValue(element, attribute);
    if (!value) return std::nullopt;
    return std::move(value.value);
}

std::optional<std::string> UIElement::descriptionOfValue(const std::optional<AXAttributeValue>& value,
                                                         bool verbose) {
    if (!value) return std::nullopt;
    if (value->axValueType() != AXValueType::illegal) return stringDescriptionOfAXValue(*value, verbose);
    if (auto array = value->get<AXArray>()) return arrayDescription(*array);
    if (auto element = value->get<AXUIElementRef>(); element && *element) {
        if (auto role = copyValueOfExistingAttribute("AXRole", *element)) {
            auto text = copyValueOfExistingAttribute("AXTitle", *element);
            if (!text || isEmptyString(*text)) {
                // A description, even an empty one, stands in for a missing or empty title.
                if (auto description = copyValueOfExistingAttribute("AXDescription", *element))
                    text = description;
            }
            if (text) return "<" + ownDescription(*role) + ": \"" + ownDescription(*text) + "\">";
            return "<" + ownDescription(*role) + ">";
        }
    }
    return ownDescription(*value);
}

AXUIElementRef UIElement::copyIndexElementInChildren(const AXUIElementRef& element, std::int32_t index) {
    auto children = childrenOf(accessibility_, element);
    if (!children) return nullptr;
    // Widened with its sign and compared unsigned, so every negative index is out of range.
    const auto position = static_cast<std::uint64_t>(static_cast<std::int64_t>(index));
    if (position >= children->size()) return nullptr;
    auto child = (*children)[position].get<AXUIElementRef>();
    return child ? *child : nullptr;
}

AXUIElementRef UIElement::copyTitleElementInChildren(const AXUIElementRef& element,
                                                     const std::vector<std::string>& titles) {
    return copyFirstChildWithValue(*this, element, "AXTitle", titles);
}

AXUIElementRef UIElement::copyRoleElementInChildren(const AXUIElementRef& element, const std::string& role) {
    return copyFirstChildWithValue(*this, element, "AXRole", {role});
}

std::optional<AXAttributeValue> UIElement::valueOfAttribute(const std::string& attribute,
                                                            const AXUIElementRef& element) {
    auto names = attributeNamesOfUIElement(element);
    if (!names || std::find(names->begin(), names->end(), attribute) == names->end()) return std::nullopt;
    auto value = accessibility_.copyAttributeValue(element, attribute);
    if (!value) return std::nullopt;
    return std::move(value.value);
}

std::optional<std::vector<std::string>> UIElement::attributeNamesOfUIElement(const AXUIElementRef& element) {
    auto names = accessibility_.copyAttributeNames(element);
    if (!names) return std::nullopt;
    return std::move(names.value);
}

std::vector<std::string> UIElement::lineageOfUIElement(const AXUIElementRef& element) {
    std::vector<AXUIElementRef> chain;
    for (AXUIElementRef current = element; current && chain.size() < kMaxLineageDepth;) {
        if (std::find(chain.begin(), chain.end(), current) != chain.end()) break;
        chain.push_back(current);
        auto parent = copyValueOfExistingAttribute("AXParent", current);
        auto next = parent ? parent->get<AXUIElementRef>() : nullptr;
        current = next ? *next : nullptr;
    }
    std::vector<std::string> lineage;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        lineage.push_back(descriptionOfValue(AXAttributeValue(*it), false).value_or(""));
    return lineage;
}

std::string UIElement::lineageDescriptionOfUIElement(const AXUIElementRef& element) {
    std::string text;
    std::size_t depth = 0;
    for (const auto& line : lineageOfUIElement(element))
        text += std::string(depth++, ' ') + line + "\n";
    return text;
}

} // namespace quoddle
