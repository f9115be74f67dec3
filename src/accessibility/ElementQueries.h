#pragma once
// Questions the core asks of other applications' elements through the accessibility port: what is under
// the pointer, an attribute's value, a child by index, title or role, and an element's identity. Every
// failure is an absent result.

#include "platform/Accessibility.h"
#include "platform/EventTap.h"

#include <optional>
#include <string>
#include <vector>

namespace quoddle {

// What the palette decision knows of an element: its role, its identity (the text of its position and
// size: two elements with equal identities count as the same) and its process.
struct ElementSummary {
    std::optional<ax::Role> role;
    std::string identity;
    ProcessId pid = -1;
};

class ElementQueries {
public:
    ElementQueries(Accessibility& accessibility, Pointer& pointer)
        : accessibility_(accessibility), pointer_(pointer) {}

    Accessibility& accessibility() { return accessibility_; }

    ax::ElementRef elementUnderPointer();
    std::optional<ax::Value> attribute(const ax::ElementRef& element, ax::Attribute attribute);
    // Read only when the element lists the attribute among its names.
    std::optional<ax::Value> listedAttribute(const ax::ElementRef& element, ax::Attribute attribute);
    ax::ElementRef childAt(const ax::ElementRef& element, std::int32_t index);
    // The first child whose title is one of the titles.
    ax::ElementRef childTitled(const ax::ElementRef& element, const std::vector<std::string>& titles);
    ax::ElementRef childWithRole(const ax::ElementRef& element, ax::Role role);
    ElementSummary summaryOf(const ax::ElementRef& element);

private:
    Accessibility& accessibility_;
    Pointer& pointer_;
    ax::ElementRef systemWide_;
};

// The short text of a point ("x=120 y=455"), a size ("w=600 h=22"), a rectangle or a range.
std::string describeGeometry(const ax::Value& value);

} // namespace quoddle
