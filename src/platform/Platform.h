#pragma once
// The bundle of ports a backend hands the core.
//
// Threads: the core runs on one thread, the backend's main loop. Every port call is made there, and every
// callback a backend makes into the core (observer and tap callbacks, timers, queued work, the actions of
// Quoddle's own windows) must arrive there too; only RunLoop::post may be called from another thread.

#include "platform/Accessibility.h"
#include "platform/AppServices.h"
#include "platform/Application.h"
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
    Application& application;
    Accessibility& accessibility;
    InputTaps& inputTaps;
    Pointer& pointer;
    Screens& screens;
    KeyboardLayout& keyboardLayout;
    LoginItems& loginItems;
    Interface interface;
};

} // namespace quoddle
