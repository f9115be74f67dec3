#pragma once
// Additions to the application object: the login item, the Dock icon, and the modal alert.

#include "platform/AppServices.h"
#include "platform/LoginItems.h"

#include <string>

namespace quoddle {

// Adds an entry for the path at the front of the login items, or removes the path's entry. Enabling an
// item that is there, or disabling one that is not, changes nothing.
void setLaunchAutomaticallyOnLogin(LoginItems& loginItems, AppServices& appServices, const std::string& path,
                                   bool enabled);
// The same for the running application's bundle; nothing without a bundle path.
void setLaunchAutomaticallyOnLogin(LoginItems& loginItems, AppServices& appServices, bool flag);
// Whether the login items hold an entry for the running application's bundle; NO when the list cannot
// be opened.
bool isLaunchAutomaticallyOnLogin(const LoginItems& loginItems, const AppServices& appServices);
// Gives the background application a Dock icon for the rest of its run.
void showDockIcon(AppServices& appServices);
// Beeps, then runs a modal OK/Cancel alert; the result is the platform's code of the button pressed.
int showAlertWithMessageText(AppServices& appServices, const std::string& messageText,
                             const std::string& infoText, int alertStyle);

} // namespace quoddle
