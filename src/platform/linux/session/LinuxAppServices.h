#pragma once
// The application services on the desktop: the display-free ones, plus the beep, the activation of
// Quoddle's front window, and modal alerts on Qt.

#include "platform/linux/session/LinuxLocalization.h"

namespace quoddle {

class QtFrontWindows;

class LinuxAppServices : public LinuxLocalizedAppServices {
public:
    // Needs the QApplication; activation brings forward the window the front windows name.
    explicit LinuxAppServices(const QtFrontWindows& frontWindows) : frontWindows_(frontWindows) {}

    void beep() override;
    void activate() override;
    // OK and Cancel; both texts are shown as plain text, exactly as given. Closing the alert is Cancel.
    int runModalAlert(const std::string& messageText, const std::string& informativeText,
                      int alertStyle) override;

private:
    const QtFrontWindows& frontWindows_;
};

} // namespace quoddle
