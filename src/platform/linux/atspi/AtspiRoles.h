#pragma once
// The AT-SPI role of an element in the core's vocabulary of accessibility roles.

#include "platform/Accessibility.h"

#include <atspi/atspi.h>

namespace quoddle {

// The role an element of that AT-SPI role has, without looking at where it stands. Menus are shaped
// further by their place in the menu bar (see AtspiTree), text by its line mode.
ax::Role roleOfAtspiRole(AtspiRole role);

} // namespace quoddle
