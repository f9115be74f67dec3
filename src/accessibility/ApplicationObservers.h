#pragma once
// The plain functions of the application observers: the callback every observer calls, and the element
// information recorded for a press or a selection.

#include "Library/UIElement.h"

#include <optional>
#include <string>

namespace quoddle {

void axObserverCallback(const AXObserverRef& observer, const AXUIElementRef& element,
                        const std::string& notification, const void* context);

// Role, identity string ("<position> - <size>") and process of an element; a null element changes nothing.
void setUIElementInfo(UIElement& helpers, const AXUIElementRef& element, std::optional<std::string>& role,
                      std::optional<std::string>& info, ProcessId& pid);

} // namespace quoddle
