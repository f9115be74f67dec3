#pragma once
// The settings window: the history as settings text (with Load and Apply), the shortcut definitions, the
// blacklist, and the accessibility state with a way to turn it on. Its buttons send the controller's
// commands through the application object; closing the window only hides it.

#include "platform/linux/QtTextView.h"
#include "platform/linux/QtUi.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTabWidget;

namespace quoddle {

class QtApplicationTarget;

class QtSettingsWindow : public QWidget {
public:
    explicit QtSettingsWindow(const QtApplicationTarget& application);
    ~QtSettingsWindow() override;

    QtTextView& settingTextView() { return *settingTextView_; }
    QtTextView& shortcutButtonSettingTextView() { return *shortcutTextView_; }
    QtTextView& blacklistAppSettingTextView() { return *blacklistTextView_; }
    QtTextField& axapiMessageTextField() { return *axapiField_; }

    QTabWidget& tabs() const { return *tabs_; }
    QPushButton& loadButton() const { return *loadButton_; }
    QPushButton& applyButton() const { return *applyButton_; }
    QPushButton& accessibilityButton() const { return *accessibilityButton_; }
    QLabel& axapiMessageLabel() const { return *axapiLabel_; }

private:
    const QtApplicationTarget& application_;
    QTabWidget* tabs_ = nullptr;
    QPushButton* loadButton_ = nullptr;
    QPushButton* applyButton_ = nullptr;
    QPushButton* accessibilityButton_ = nullptr;
    QLabel* axapiLabel_ = nullptr;
    std::unique_ptr<QtTextView> settingTextView_;
    std::unique_ptr<QtTextView> shortcutTextView_;
    std::unique_ptr<QtTextView> blacklistTextView_;
    std::unique_ptr<QtTextField> axapiField_;
};

} // namespace quoddle
