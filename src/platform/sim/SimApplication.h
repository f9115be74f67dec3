#pragma once
// The simulated application object: what the settings window's controls and the session would send the
// core, as a test or the demo asks for it.

#include "platform/Application.h"

namespace quoddle {

class SimApplication : public Application {
public:
    void setActions(ApplicationActions* actions) override { actions_ = actions; }
    // The core's actions, null when none are registered.
    ApplicationActions* actions() const { return actions_; }

private:
    ApplicationActions* actions_ = nullptr;
};

} // namespace quoddle
