#pragma once
// Port: services of the running application itself: beep, log, localization, bundle, alerts, foreground
// state.

#include <optional>
#include <string>

namespace quoddle {

class AppServices {
public:
    virtual ~AppServices() = default;
    virtual void beep() = 0;
    virtual void log(const std::string& line) = 0;
    // The localized string of the default table for the key; the key itself when the table has no entry.
    virtual std::string localizedString(const std::string& key) const = 0;
    virtual std::optional<std::string> bundlePath() const = 0;
    // The name the file manager shows for a path.
    virtual std::string displayNameAtPath(const std::string& path) const = 0;
    // Makes the background application an ordinary one with a task-switcher (Dock) icon.
    virtual void transformToForegroundApplication() = 0;
    virtual void activateIgnoringOtherApps() = 0;
    // Runs a modal alert with an OK and a Cancel button; returns the platform's code of the button pressed.
    virtual int runModalAlert(const std::string& messageText, const std::string& informativeText,
                              int alertStyle) = 0;
};

} // namespace quoddle
