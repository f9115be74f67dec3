#include "Library/ApplicationAdditions.h"

#include <optional>
#include <string_view>
#include <vector>

namespace quoddle {

namespace {

// A path as a location: trailing slashes say only that it is a folder, as a bundle is.
std::string_view withoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return path;
}

// The first item that resolves to the path; unresolvable items are skipped.
const LoginItem* entryForPath(const std::vector<LoginItem>& items, const std::string& path) {
    const std::string_view wanted = withoutTrailingSlashes(path);
    for (const LoginItem& item : items)
        if (item.resolvedPath && withoutTrailingSlashes(*item.resolvedPath) == wanted) return &item;
    return nullptr;
}

} // namespace

void setLaunchAutomaticallyOnLogin(LoginItems& loginItems, AppServices& appServices, const std::string& path,
                                   bool enabled) {
    std::optional<std::vector<LoginItem>> items = loginItems.snapshot();
    if (!items) return;
    const LoginItem* entry = entryForPath(*items, path);
    // A failed insertion or removal leaves the list as it was; the next launch reads the real state.
    if (!enabled && entry) loginItems.remove(entry->id);
    if (enabled && !entry) loginItems.insertAtFront(path, appServices.displayNameAtPath(path));
}

void setLaunchAutomaticallyOnLogin(LoginItems& loginItems, AppServices& appServices, bool flag) {
    if (std::optional<std::string> path = appServices.bundlePath())
        setLaunchAutomaticallyOnLogin(loginItems, appServices, *path, flag);
}

bool isLaunchAutomaticallyOnLogin(const LoginItems& loginItems, const AppServices& appServices) {
    std::optional<std::string> path = appServices.bundlePath();
    if (!path) return false;
    std::optional<std::vector<LoginItem>> items = loginItems.snapshot();
    return items && entryForPath(*items, *path) != nullptr;
}

void showDockIcon(AppServices& appServices) {
    appServices.transformToForegroundApplication();
}

int showAlertWithMessageText(AppServices& appServices, const std::string& messageText,
                             const std::string& infoText, int alertStyle) {
    appServices.beep();
    // The information text is shown as it is, never read as a format: a "%" in it is just a character.
    return appServices.runModalAlert(messageText, infoText, alertStyle);
}

} // namespace quoddle
