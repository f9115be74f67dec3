#include "support/LaunchAtLogin.h"

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

void setLaunchAtLogin(LoginItems& loginItems, const AppServices& appServices, bool enabled) {
    const std::optional<std::string> path = appServices.bundlePath();
    if (!path) return;
    std::optional<std::vector<LoginItem>> items = loginItems.snapshot();
    if (!items) return;
    const LoginItem* entry = entryForPath(*items, *path);
    // A failed insertion or removal leaves the list as it was; the next start reads the real state.
    if (!enabled && entry) loginItems.remove(entry->id);
    if (enabled && !entry) loginItems.insertAtFront(*path, appServices.displayNameAtPath(*path));
}

bool launchesAtLogin(const LoginItems& loginItems, const AppServices& appServices) {
    const std::optional<std::string> path = appServices.bundlePath();
    if (!path) return false;
    std::optional<std::vector<LoginItem>> items = loginItems.snapshot();
    return items && entryForPath(*items, *path) != nullptr;
}

} // namespace quoddle
