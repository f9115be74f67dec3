#pragma once
// A controller on a fresh simulated desktop, with the process-wide state reset around each test.

#include "QuoddleAppDelegate.h"
#include "platform/sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <memory>

namespace quoddle {

class SimFixture : public ::testing::Test {
protected:
    SimFixture() { resetProcessWideState(); }
    ~SimFixture() override {
        controller_.reset();
        resetProcessWideState();
    }

    // The controller, made on first use so a test can prepare the stored preferences first.
    QuoddleAppDelegate& controller() {
        if (!controller_) {
            controller_ = std::make_unique<QuoddleAppDelegate>(desktop.platform());
            gQuoddleAppDelegate = controller_.get();
        }
        return *controller_;
    }
    // Ends this controller and makes a new one on the same desktop (a relaunch).
    QuoddleAppDelegate& relaunch() {
        controller_.reset();
        resetProcessWideState();
        return controller();
    }

    SimDesktop desktop;

private:
    std::unique_ptr<QuoddleAppDelegate> controller_;
};

} // namespace quoddle
