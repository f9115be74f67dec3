#pragma once
// The application: the components, built in the order each needs the others, started in a fixed order, and
// the session's events and the settings window's commands handed to the one whose job they are.
//
//   clicks       what the palette decision has seen (input/ClickState)
//   servicesMenu the Services items known, and pressing one (accessibility/ServicesMenu)
//   history      the service history in use (history/HistoryRecorder)
//   palette      showing, placing and hiding the palette, and its buttons (palette/)
//   observers    one accessibility observer per application (accessibility/ApplicationObservers)
//   input        the listen-only tap on buttons and keys (input/InputMonitor)
//   settings     the settings window's commands (settings/SettingsController)

#include "accessibility/ApplicationObservers.h"
#include "accessibility/ElementQueries.h"
#include "accessibility/ServicesMenu.h"
#include "history/HistoryRecorder.h"
#include "input/ClickState.h"
#include "input/InputMonitor.h"
#include "palette/PaletteController.h"
#include "platform/Platform.h"
#include "settings/SettingsController.h"
#include "support/KeyboardTables.h"
#include "support/NotificationCenter.h"
#include "support/UserDefaults.h"

#include <vector>

namespace quoddle {

class Quoddle : private ApplicationActions {
public:
    // Registers the preference defaults; nothing else happens before start().
    explicit Quoddle(Platform& platform);
    ~Quoddle() override;
    Quoddle(const Quoddle&) = delete;
    Quoddle& operator=(const Quoddle&) = delete;

    // From here on the application only reacts to events.
    void start();
    // The settings window's commands and the session's requests, as the backend delivers them.
    ApplicationActions& actions() { return *this; }
    std::size_t observedApplicationCount() const { return observers_.observedCount(); }
    std::size_t knownServiceTitleCount() const { return servicesMenu_.knownTitleCount(); }

private:
    void loadHistoryText() override { settings_.loadHistoryText(); }
    void applyHistoryText() override { settings_.applyHistoryText(); }
    void launchAtLoginChanged() override { settings_.launchAtLoginChanged(); }
    void openAccessibilitySettings() override { platform_.workspace.openAccessibilitySettings(); }
    void reopen() override { bringForward(platform_.interface.settingsWindow); }
    void terminate() override { history_.save(); }
    std::string historyText() override { return settings_.historyText(); }
    std::string importHistoryText(const std::string& text) override {
        return settings_.importHistoryText(text);
    }

    void followWorkspace();
    void applicationActivated(const Notification& notification);
    // Order front, activate the application, order front again.
    void bringForward(Window& window);

    Platform& platform_;
    UserDefaults preferences_;
    NotificationCenter notifications_;
    ElementQueries queries_;
    KeyboardTables keyboard_;
    ClickState clicks_;
    ServicesMenu servicesMenu_;
    HistoryRecorder history_;
    PaletteController palette_;
    ApplicationObservers observers_;
    InputMonitor input_;
    SettingsController settings_;
    std::vector<NotificationCenter::ObserverId> workspaceObservers_;
};

} // namespace quoddle
