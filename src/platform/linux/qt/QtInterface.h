#pragma once
// All of Quoddle's own windows on Qt, built together: what the interface file would create, plus the
// screens, the pointer, the application object and the in-process hit test that go with them.
//
// Construct it after the QApplication, on its thread, and keep it until the core is gone. The
// members are built in the order they are declared; each refers only to ones above it.

#include "platform/Ui.h"
#include "platform/linux/qt/QtApplicationTarget.h"
#include "platform/linux/qt/QtPaletteWindow.h"
#include "platform/linux/qt/QtSettingsWindow.h"
#include "platform/linux/qt/QtUi.h"

#include <memory>

namespace quoddle {

// The small window shown while Quoddle starts.
std::unique_ptr<QWidget> makeNowLoadingWidget();

struct QtInterface {
    QtInterface();
    ~QtInterface();
    QtInterface(const QtInterface&) = delete;
    QtInterface& operator=(const QtInterface&) = delete;

    // The outlets for the Platform bundle.
    Interface interface();

    QtScreens screens;
    QtPointer pointer{screens};
    QtFrontWindows frontWindows;
    QtApplicationTarget application;
    QtPaletteWindow palette{screens};
    QtOwnWindows ownWindows{palette, screens};
    std::unique_ptr<QtSettingsWindow> settings = std::make_unique<QtSettingsWindow>(application);
    std::unique_ptr<QWidget> nowLoading = makeNowLoadingWidget();
    QtWindow settingWindow{*settings, frontWindows};
    QtWindow nowLoadingWindow{*nowLoading, frontWindows};
};

} // namespace quoddle
