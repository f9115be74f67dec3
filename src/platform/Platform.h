#pragma once
// The bundle of ports a backend hands the controller.

#include "platform/Accessibility.h"
#include "platform/AppServices.h"
#include "platform/Clock.h"
#include "platform/DefaultsStore.h"
#include "platform/EventTap.h"
#include "platform/LoginItems.h"
#include "platform/RunLoop.h"
#include "platform/Ui.h"
#include "platform/Workspace.h"

namespace quoddle {

struct Platform {
    DefaultsStore& defaultsStore;
    Workspace& workspace;
    RunLoop& runLoop;
    Clock& clock;
    AppServices& appServices;
    Accessibility& accessibility;
    EventTaps& eventTaps;
    Pointer& pointer;
    Screens& screens;
    KeyboardLayout& keyboardLayout;
    LoginItems& loginItems;
    Interface interface;
};

} // namespace quoddle
