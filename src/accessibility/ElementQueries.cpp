#include "accessibility/ElementQueries.h"

#include <algorithm>
#include <cstdio>

namespace quoddle {

namespace {

template <typename... Args> std::string format(const char* pattern, Args... args) {
    const int length = std::snprintf(nullptr, 0, pattern, args...);
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, args...);
    return text;
}

std::optional<ax::Array> childrenOf(Accessibility& accessibility, const ax::ElementRef& element) {
    ax::Result<ax::Value> children = accessibility.attribute(element, ax::Attribute::children);
    const ax::Array* array = children ? children.value.get<ax::Array>() : nullptr;
    if (!array) return std::nullopt;
    return *array;
}

template <typename Matches>
ax::ElementRef firstChildWhere(Accessibility& accessibility, const ax::ElementRef& element, Matches matches) {
    std::optional<ax::Array> children = childrenOf(accessibility, element);
    if (!children) return nullptr;
    for (const ax::Value& entry : *children) {
        const ax::ElementRef* child = entry.get<ax::ElementRef>();
        if (child && *child && matches(*child)) return *child;
    }
    return nullptr;
}

std::string geometryText(ElementQueries& queries, const ax::ElementRef& element, ax::Attribute attribute) {
    std::optional<ax::Value> value = queries.attribute(element, attribute);
    return value && value->isGeometric() ? describeGeometry(*value) : std::string();
}

} // namespace

std::string describeGeometry(const ax::Value& value) {
    if (auto point = value.get<ax::PointValue>()) return format("x=%g y=%g", point->x, point->y);
    if (auto size = value.get<ax::SizeValue>()) return format("w=%g h=%g", size->width, size->height);
    if (auto rect = value.get<ax::RectValue>())
        return format("x=%g y=%g w=%g h=%g", rect->x, rect->y, rect->width, rect->height);
    if (auto range = value.get<ax::RangeValue>())
        return format("pos=%ld len=%ld", range->location, range->length);
    return {};
}

ax::ElementRef ElementQueries::elementUnderPointer() {
    if (!systemWide_) systemWide_ = accessibility_.systemWideElement();
    const Point location = pointer_.eventLocation();
    ax::Result<ax::ElementRef> hit =
        accessibility_.elementAt(systemWide_, static_cast<float>(location.x), static_cast<float>(location.y));
    return hit ? hit.value : nullptr;
}

std::optional<ax::Value> ElementQueries::attribute(const ax::ElementRef& element, ax::Attribute attribute) {
    ax::Result<ax::Value> value = accessibility_.attribute(element, attribute);
    if (!value) return std::nullopt;
    return std::move(value.value);
}

std::optional<ax::Value> ElementQueries::listedAttribute(const ax::ElementRef& element,
                                                         ax::Attribute attribute) {
    ax::Result<std::vector<ax::Attribute>> names = accessibility_.attributeNames(element);
    if (!names || std::find(names.value.begin(), names.value.end(), attribute) == names.value.end())
        return std::nullopt;
    return this->attribute(element, attribute);
}

ax::ElementRef ElementQueries::childAt(const ax::ElementRef& element, std::int32_t index) {
    std::optional<ax::Array> children = childrenOf(accessibility_, element);
    if (!children) return nullptr;
    // Widened with its sign and compared unsigned, so every negative index is out of range.
    const auto position = static_cast<std::uint64_t>(static_cast<std::int64_t>(index));
    if (position >= children->size()) return nullptr;
    const ax::ElementRef* child = (*children)[position].get<ax::ElementRef>();
    return child ? *child : nullptr;
}

ax::ElementRef ElementQueries::childTitled(const ax::ElementRef& element,
                                           const std::vector<std::string>& titles) {
    return firstChildWhere(accessibility_, element, [&](const ax::ElementRef& child) {
        std::optional<ax::Value> title = attribute(child, ax::Attribute::title);
        const std::string* text = title ? title->get<std::string>() : nullptr;
        return text && std::find(titles.begin(), titles.end(), *text) != titles.end();
    });
}

ax::ElementRef ElementQueries::childWithRole(const ax::ElementRef& element, ax::Role role) {
    return firstChildWhere(accessibility_, element, [&](const ax::ElementRef& child) {
        std::optional<ax::Value> value = attribute(child, ax::Attribute::role);
        const ax::Role* childRole = value ? value->get<ax::Role>() : nullptr;
        return childRole && *childRole == role;
    });
}

ElementSummary ElementQueries::summaryOf(const ax::ElementRef& element) {
    ElementSummary summary;
    if (ax::Result<ProcessId> owner = accessibility_.pid(element)) summary.pid = owner.value;
    std::optional<ax::Value> role = attribute(element, ax::Attribute::role);
    if (const ax::Role* known = role ? role->get<ax::Role>() : nullptr) summary.role = *known;
    // An attribute that cannot be read leaves its part of the identity empty.
    summary.identity = geometryText(*this, element, ax::Attribute::position) + " - " +
                       geometryText(*this, element, ax::Attribute::size);
    return summary;
}

} // namespace quoddle
