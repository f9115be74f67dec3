#pragma once
// Whether the session's login items start Quoddle, and making them do so or not.

#include "platform/AppServices.h"
#include "platform/LoginItems.h"

namespace quoddle {

// Adds an entry for the running program at the front of the login items, or removes its entry. Enabling an
// entry that is there, or disabling one that is not, changes nothing; nothing without a program path.
void setLaunchAtLogin(LoginItems& loginItems, const AppServices& appServices, bool enabled);
// Whether the login items hold an entry for the running program; false when the list cannot be opened.
bool launchesAtLogin(const LoginItems& loginItems, const AppServices& appServices);

} // namespace quoddle
