#pragma once
// The tray icon that stands for the original platform's Dock icon: shown while "HideDockIcon" is off, with
// a menu to open the settings, pause and resume the palette, and quit. Qt offers it as a
// StatusNotifierItem where the desktop has a host for those, else as an XEmbed tray icon.

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace quoddle {

class QtTrayIcon {
public:
    struct Actions {
        std::function<void()> showSettings;
        std::function<void(bool paused)> setPaused;
        std::function<void()> quit;
    };
    explicit QtTrayIcon(Actions actions);
    ~QtTrayIcon();
    QtTrayIcon(const QtTrayIcon&) = delete;
    QtTrayIcon& operator=(const QtTrayIcon&) = delete;

    void setVisible(bool visible);
    bool isVisible() const;
    bool paused() const { return paused_; }

    QMenu& menu() const { return *menu_; }
    QAction& settingsAction() const { return *settings_; }
    QAction& pauseAction() const { return *pause_; }
    QAction& quitAction() const { return *quit_; }

private:
    void togglePause();

    Actions actions_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    QAction* settings_ = nullptr;
    QAction* pause_ = nullptr;
    QAction* quit_ = nullptr;
    bool paused_ = false;
};

} // namespace quoddle
