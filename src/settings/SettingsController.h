#pragma once
// The settings window's part of the core: the history as editable text (load, apply), the shortcut text and
// the blacklist kept live in their preferences, the look the three text views share, the login-item switch
// and the line that tells whether accessibility is on.

#include "history/HistoryRecorder.h"
#include "platform/Platform.h"
#include "support/UserDefaults.h"

#include <string>

namespace quoddle {

class SettingsController {
public:
    SettingsController(Platform& platform, UserDefaults& preferences, HistoryRecorder& history);
    ~SettingsController();
    SettingsController(const SettingsController&) = delete;
    SettingsController& operator=(const SettingsController&) = delete;

    // The look of the three text views, and the two preference views filled and bound to their preferences.
    void setUpTextViews();
    // Tells in the settings window whether accessibility is on; false when it is off.
    bool showAccessibilityState();

    void loadHistoryText();
    void applyHistoryText();
    // The history commands of a later start: Load's text without touching the view, and Apply of the given
    // text, which leaves the view as Apply does and answers its result line.
    std::string historyText() const;
    std::string importHistoryText(const std::string& text);
    void launchAtLoginChanged();

private:
    std::string apply(std::string_view text);
    void showInHistoryView(const std::string& text);
    void applyTextAttributes(TextView& view);
    void textViewEdited(TextView& view);

    Platform& platform_;
    UserDefaults& preferences_;
    HistoryRecorder& history_;
    Interface& interface_;
    Font font_;
    ParagraphStyle tabStops_;
};

} // namespace quoddle
