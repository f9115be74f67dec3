#pragma once
// Whether the session's accessibility is on: the session bus's org.a11y.Status.IsEnabled, which is what
// makes Qt applications (and GTK ones asked to) expose their trees. Bounded calls: a session without the
// accessibility bus answers "off" quickly.

#include <string>

namespace quoddle {

// True when the property reads true; false when it reads false or cannot be read.
bool accessibilityIsEnabled();
// Sets the property to true; false with the reason when the bus refused.
bool enableAccessibility(std::string* reason = nullptr);

} // namespace quoddle
