#pragma once
// The simulated application object: what the settings window's controls and the session would send the
// controller, as a test or the demo asks for it.

#include "platform/Application.h"

namespace quoddle {

class SimApplication : public Application {
public:
    void setActionTarget(ApplicationActions* target) override { target_ = target; }
    // The action target, null when no controller is registered.
    ApplicationActions* actionTarget() const { return target_; }

private:
    ApplicationActions* target_ = nullptr;
};

} // namespace quoddle
