#pragma once
// The Linux desktop backend put together: every port on X11, AT-SPI2 and Qt 6, in the order each needs the
// others. The composition root of the real application, as SimDesktop is of the tests.
//
// Construct it after the QApplication, on its thread; it must outlive the core built on platform().

#include "platform/Platform.h"
#include "platform/defaults/FileDefaultsStore.h"
#include "platform/linux/LinuxAccessibility.h"
#include "platform/linux/atspi/AtspiApplications.h"
#include "platform/linux/atspi/AtspiObservers.h"
#include "platform/linux/atspi/AtspiTree.h"
#include "platform/linux/qt/QtInterface.h"
#include "platform/linux/qt/QtRunLoop.h"
#include "platform/linux/qt/QtTrayIcon.h"
#include "platform/linux/services/DesktopServices.h"
#include "platform/linux/services/ServiceCatalog.h"
#include "platform/linux/services/ServiceOutputs.h"
#include "platform/linux/session/LinuxAppServices.h"
#include "platform/linux/session/LinuxWorkspace.h"
#include "platform/linux/session/XdgAutostartLoginItems.h"
#include "platform/linux/wayland/WaylandGestures.h"
#include "platform/linux/wayland/WaylandMenuButtons.h"
#include "platform/linux/x11/PrimaryOwnerWatch.h"
#include "platform/linux/x11/X11ActiveWindowWatch.h"
#include "platform/linux/x11/X11Handles.h"
#include "platform/linux/x11/X11KeyPoster.h"
#include "platform/linux/x11/X11KeyboardLayout.h"
#include "platform/linux/x11/XRecordEventTaps.h"
#include "platform/linux/x11/XRecordInput.h"
#include "support/UserDefaults.h"

#include <memory>
#include <string>

class QTimer;

namespace quoddle {

class WallClock : public Clock {
public:
    // Milliseconds are what the preferences file keeps of a date.
    TimePoint now() const override;
};

class LinuxDesktop {
public:
    // The connection answers the main thread's X queries (hit tests, keys, the keyboard map).
    explicit LinuxDesktop(DisplayHandle display);
    ~LinuxDesktop();
    LinuxDesktop(const LinuxDesktop&) = delete;
    LinuxDesktop& operator=(const LinuxDesktop&) = delete;

    // Starts listening to the session: input, the active window, the registered applications. False with
    // the reason when the input cannot be watched (no RECORD extension); the rest works all the same.
    bool start(std::string* reason);
    Platform& platform() { return platform_; }
    // Whether the log says why a selection opened no palette.
    void explainWhenAsked(bool explaining) { appServices_.setExplaining(explaining); }
    QtInterface& ui() { return ui_; }

private:
    void takeWaylandRoute();
    void input(const InputEvent& event);
    void menuInput(const InputEvent& event);
    void openAccessibilitySettings();
    std::optional<DesktopServices::Selection> selectionOf(ProcessId pid);
    // Replaces the selection of the element last pressed in the process (a Wayland window's, which no key
    // reaches); an empty replacement deletes it.
    bool editSelection(ProcessId pid, const std::string& replacement);
    std::optional<std::string> clipboardText();
    void preferencesChanged();
    std::vector<std::string> servicesItemTitles() const;

    DisplayHandle display_;
    QtRunLoop runLoop_;
    WallClock clock_;
    QtInterface ui_;
    LinuxAppServices appServices_;
    FileDefaultsStore defaultsStore_;
    AtspiApplications applications_;
    LinuxWorkspace workspace_;
    AtspiTree tree_;
    XRecordInput input_;
    AtspiEventHub hub_;
    X11KeyPoster keyPoster_;
    X11KeyboardLayout keyboardLayout_;
    ShortcutStrokes strokes_;
    LinuxAccessibility accessibility_;
    XRecordEventTaps eventTaps_;
    XdgAutostartLoginItems loginItems_;
    X11ActiveWindowWatch activeWindow_;
    PrimaryOwnerWatch primaryOwner_;
    // The preferences as the settings window shows them: stored, else registered.
    UserDefaults preferences_;
    QtTrayIcon tray_;
    ServiceCatalog serviceCatalog_;
    DesktopServiceOutputs serviceOutputs_;
    DesktopServices desktopServices_;
    XRecordInput::ListenerId inputListener_ = 0;
    bool pauseExplained_ = false; // said once while paused
    std::unique_ptr<QObject> ownClicksFirst_;
    // On a Wayland session: what stands in for the buttons no client sees in Wayland windows.
    std::optional<WaylandSession> waylandSession_;
    std::unique_ptr<WaylandGestures> waylandGestures_;
    std::unique_ptr<WaylandMenuButtons> waylandMenuButtons_;
    // Writes the preferences soon after a change (a burst of edits makes one write).
    std::unique_ptr<QTimer> preferencesSave_;
    Platform platform_;
};

} // namespace quoddle
