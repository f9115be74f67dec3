#pragma once
// The settings window: a control for each of the preferences (stored the moment it changes), the history
// as settings text (with Load and Apply), the shortcut definitions, the blacklist, the desktop services
// found, and the accessibility state (and on GNOME's Wayland sessions Quoddle's Shell extension's) with a
// way to turn it on. Its buttons
// send the core's commands through the application object; closing the window only hides it.

#include "platform/linux/qt/QtTextView.h"
#include "platform/linux/qt/QtUi.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTreeWidget;

namespace quoddle {

class QtApplicationTarget;
class UserDefaults;

// One desktop service as the settings window lists it.
struct DesktopServiceListing {
    std::string name;
    std::string output; // what its output does, in words
    std::string file;
};

// A helper of the desktop's that the palette needs in full (GNOME Shell's extension on Wayland): the
// window says whether it is on and offers to turn it on.
struct DesktopHelperRow {
    std::string onText, offText, buttonTitle;
    std::function<bool()> running;
    // None when it was turned on, else what stands in the way, in words.
    std::function<std::optional<std::string>()> turnOn;
};

class QtSettingsWindow : public QWidget {
public:
    explicit QtSettingsWindow(const QtApplicationTarget& application);
    ~QtSettingsWindow() override;

    // Where the Desktop Services page gets its list (read each time the page is shown) and the folder
    // its button opens (made first when missing).
    void setDesktopServices(std::function<std::vector<DesktopServiceListing>()> list, std::string userFolder);
    // Reads the list again.
    void refreshDesktopServices();
    // The preferences the General page edits; its controls show them from now on (and again whenever
    // the window is shown or refreshPreferences is called) and store every change at once.
    void setPreferences(UserDefaults& defaults);
    // Shows the helper's row (hidden until this is called); refreshed whenever the window is shown.
    void setDesktopHelper(DesktopHelperRow helper);
    // Whether the helper is on.
    bool refreshDesktopHelper();
    void refreshPreferences();
    QCheckBox* preferenceCheckBox(const std::string& key) const;
    QSpinBox* preferenceSpinBox(const std::string& key) const;
    QLineEdit& servicesTitleField() const { return *servicesTitle_; }

    QtTextView& historyTextView() { return *historyTextView_; }
    QtTextView& shortcutTextView() { return *shortcutTextView_; }
    QtTextView& blacklistTextView() { return *blacklistTextView_; }
    QtTextField& accessibilityStatusField() { return *accessibilityStatus_; }

    QTabWidget& tabs() const { return *tabs_; }
    QPushButton& loadButton() const { return *loadButton_; }
    QPushButton& applyButton() const { return *applyButton_; }
    QPushButton& accessibilityButton() const { return *accessibilityButton_; }
    QLabel& accessibilityStatusLabel() const { return *accessibilityLabel_; }
    QTreeWidget& desktopServicesList() const { return *servicesList_; }
    QLabel& desktopHelperLabel() const { return *helperLabel_; }
    QPushButton& desktopHelperButton() const { return *helperButton_; }
    QPushButton& addToPaletteButton() const { return *addToPaletteButton_; }
    QPushButton& openServicesFolderButton() const { return *openFolderButton_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeGeneralPage();
    QWidget* makeDesktopServicesPage();
    void addSelectedServiceToPalette();
    void openServicesFolder();
    void turnOnDesktopHelper();

    const QtApplicationTarget& application_;
    QTabWidget* tabs_ = nullptr;
    QPushButton* loadButton_ = nullptr;
    QPushButton* applyButton_ = nullptr;
    QPushButton* accessibilityButton_ = nullptr;
    QLabel* accessibilityLabel_ = nullptr;
    QLabel* helperLabel_ = nullptr;
    QPushButton* helperButton_ = nullptr;
    DesktopHelperRow helper_;
    QTreeWidget* servicesList_ = nullptr;
    QPushButton* addToPaletteButton_ = nullptr;
    QPushButton* openFolderButton_ = nullptr;
    std::function<std::vector<DesktopServiceListing>()> listServices_;
    UserDefaults* defaults_ = nullptr;
    struct Switch {
        std::string key;
        bool inverted; // the control shows the opposite of the stored value
        QCheckBox* box;
    };
    std::vector<Switch> checkBoxes_;
    std::vector<std::pair<std::string, QSpinBox*>> spinBoxes_;
    QLineEdit* servicesTitle_ = nullptr;
    std::string servicesFolder_;
    std::unique_ptr<QtTextView> historyTextView_;
    std::unique_ptr<QtTextView> shortcutTextView_;
    std::unique_ptr<QtTextView> blacklistTextView_;
    std::unique_ptr<QtTextField> accessibilityStatus_;
};

} // namespace quoddle
