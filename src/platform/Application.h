#pragma once
// Port: the application object, and the seam through which the platform's events and the controls of
// Quoddle's own windows reach the controller (what the interface file's actions and the application
// delegate's messages are on the original platform).
//
// Threads: every call in both directions is made on the main loop.

#include <string>

namespace quoddle {

// The controller's operations that a toolkit connects to its widgets and to the session's events.
class ApplicationActions {
public:
    virtual ~ApplicationActions() = default;
    // The settings window's commands.
    virtual void loadSettingText() = 0;
    virtual void setSettingText() = 0;
    virtual void changeSetting() = 0;
    virtual void showSettingWindow() = 0;
    virtual void openUniversalAccessPref() = 0;
    // The application's life: the user opened the running application again; the session ends it.
    virtual bool applicationShouldHandleReopen(bool hasVisibleWindows) = 0;
    virtual void applicationWillTerminate() = 0;
    // The history commands of a later start of the program, carried out by the running one: the current
    // history as settings text, and a settings text applied as the settings window's Apply applies it,
    // answering the result line that the window then shows.
    virtual std::string settingTextOfCurrentHistory() = 0;
    virtual std::string applySettingText(const std::string& text) = 0;
};

class Application {
public:
    virtual ~Application() = default;
    // The controller registers itself for its whole life; null unregisters it. The backend never calls an
    // unregistered target.
    virtual void setActionTarget(ApplicationActions* target) = 0;
};

} // namespace quoddle
