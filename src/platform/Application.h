#pragma once
// Port: the application object, and the seam through which the session's events and the controls of
// Quoddle's own windows reach the core (what an interface file's actions and an application delegate's
// messages are on the original platform).
//
// Threads: every call in both directions is made on the main loop.

#include <string>

namespace quoddle {

// The core's operations that a toolkit connects to its widgets and to the session's events.
class ApplicationActions {
public:
    virtual ~ApplicationActions() = default;
    // The settings window's commands: the history as text (load, apply), the login-item switch, the way to
    // the desktop's accessibility settings.
    virtual void loadHistoryText() = 0;
    virtual void applyHistoryText() = 0;
    virtual void launchAtLoginChanged() = 0;
    virtual void openAccessibilitySettings() = 0;
    // The user opened the running application again (or asked for its settings): the settings window
    // comes forward.
    virtual void reopen() = 0;
    // The session ends the application.
    virtual void terminate() = 0;
    // The history commands of a later start of the program, carried out by the running one: the current
    // history as settings text, and a settings text applied as the settings window's Apply applies it,
    // answering the result line that the window then shows.
    virtual std::string historyText() = 0;
    virtual std::string importHistoryText(const std::string& text) = 0;
};

class Application {
public:
    virtual ~Application() = default;
    // The core registers its actions for its whole life; null unregisters them. The backend never calls
    // unregistered actions.
    virtual void setActions(ApplicationActions* actions) = 0;
};

} // namespace quoddle
