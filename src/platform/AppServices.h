#pragma once
// Port: services of the running application itself: beep, log, localization, its program's path and
// foreground state.

#include <optional>
#include <string>

namespace quoddle {

class AppServices {
public:
    virtual ~AppServices() = default;
    virtual void beep() = 0;
    virtual void log(const std::string& line) = 0;
    // Why something the user did had no visible effect (a selection that opened no palette, say): written
    // only when the user asked for such lines. Never carries the user's text.
    virtual void explain(const std::string& line) = 0;
    // The localized string of the default table for the key; the key itself when the table has no entry.
    virtual std::string localizedString(const std::string& key) const = 0;
    // Where the running program is (the original platform's bundle path).
    virtual std::optional<std::string> bundlePath() const = 0;
    // The name the file manager shows for a path.
    virtual std::string displayNameAtPath(const std::string& path) const = 0;
    // Makes the background application an ordinary one with a task-switcher (Dock) icon.
    virtual void showAsForegroundApplication() = 0;
    // Brings this application to the front, whichever application is active.
    virtual void activate() = 0;
};

} // namespace quoddle
