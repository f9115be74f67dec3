// Temporary, until the Services menu operations are merged from their own branch; delete this file then.
// Meanwhile pressing a Services item fails as it does when the item cannot be reached (a beep), and no
// Services titles are learned.
#include "QuoddleAppDelegate.h"

namespace quoddle {

void QuoddleAppDelegate::getAllServiceMenuItemTitle() {}

void QuoddleAppDelegate::clickServiceMenuItem(const std::string&) { platform.appServices.beep(); }

} // namespace quoddle
