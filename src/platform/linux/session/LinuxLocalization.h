#pragma once
// The Linux product's string table, and application services that need no display: the command line
// builds the registered defaults from them, and the desktop's services build on them.

#include "platform/AppServices.h"

#include <functional>
#include <string>

namespace quoddle {

// The Linux default shortcut text: Ctrl is the shortcut key here. Each line: label, type, value, then
// modifier and flag words, separated by tabs.
inline constexpr const char* kLinuxDefaultButtonSetting = "Copy\tchar\tc\tcontrol\n"
                                                          "Cut\tchar\tx\tcontrol\n"
                                                          "Paste\tchar\tv\tcontrol\n"
                                                          "All\tchar\ta\tcontrol\tDontHideWindow\n"
                                                          "Undo\tchar\tz\tcontrol\n";

// The table's string for the key; the key itself when the table has none.
std::string linuxLocalizedString(const std::string& key);

// The alert codes of the original platform: the first (OK) and second (Cancel) buttons.
inline constexpr int kAlertFirstButtonReturn = 1000;
inline constexpr int kAlertSecondButtonReturn = 1001;

// Application services without a display: the table's strings, the log on standard error, the running
// program's path. What needs a desktop does the harmless thing: no beep, no activation, and an alert
// (written to the log) answers Cancel, as nobody can press OK.
class LinuxLocalizedAppServices : public AppServices {
public:
    void beep() override {}
    // One line on standard error, "quoddle: " first; line breaks inside are written as "\n".
    void log(const std::string& line) override;
    // Logged as log() does, when the user started Quoddle with --verbose.
    void explain(const std::string& line) override {
        if (explaining_) log(line);
    }
    void setExplaining(bool explaining) { explaining_ = explaining; }
    std::string localizedString(const std::string& key) const override { return linuxLocalizedString(key); }
    // The running program, /proc/self/exe resolved; none when it cannot be read.
    std::optional<std::string> bundlePath() const override;
    // The file name, as a file manager shows it.
    std::string displayNameAtPath(const std::string& path) const override;
    // Remembered, and told to the handler (the desktop shows its tray icon then).
    void showAsForegroundApplication() override {
        foreground_ = true;
        if (becameForeground_) becameForeground_();
    }
    void setForegroundHandler(std::function<void()> handler) { becameForeground_ = std::move(handler); }
    void activate() override {}
    // An alert with OK and Cancel; the code of the button pressed.
    virtual int runModalAlert(const std::string& messageText, const std::string& informativeText,
                              int alertStyle);

    bool isForegroundApplication() const { return foreground_; }

private:
    bool explaining_ = false;
    bool foreground_ = false;
    std::function<void()> becameForeground_;
};

// The line log() writes, line break included.
std::string logLineOf(const std::string& line);

} // namespace quoddle
