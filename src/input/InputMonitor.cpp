#include "input/InputMonitor.h"

#include "support/MainThreadNotifications.h"

namespace quoddle {

namespace {

// Left presses and releases, right presses, key presses and other buttons' presses; nothing else.
constexpr InputEventMask kWatchedInput =
    maskOf(InputEventType::leftButtonDown) | maskOf(InputEventType::leftButtonUp) |
    maskOf(InputEventType::rightButtonDown) | maskOf(InputEventType::keyDown) |
    maskOf(InputEventType::otherButtonDown);
static_assert(kWatchedInput == 0x200040e);

std::string signedNumberOf(InputEventType type) {
    return std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(type)));
}

} // namespace

InputMonitor::InputMonitor(Platform& platform, NotificationCenter& notifications, InputHandler& handler)
    : platform_(platform), notifications_(notifications), handler_(handler) {
    // The notification comes from inside the stopped tap's own callback: the new tap is made on the next
    // pass of the loop, not while that callback still runs.
    reinstallObserver_ = notifications_.addObserver(
        kReinstallInputTapNotification, this, [this](const Notification&) { later(&InputMonitor::install); });
}

InputMonitor::~InputMonitor() {
    *alive_ = false;
    if (reinstallObserver_) notifications_.removeObserver(*reinstallObserver_);
    release();
}

void InputMonitor::install() {
    release();
    tap_ = platform_.inputTaps.createListenOnlyTap(kWatchedInput, &InputMonitor::onInput, this);
    if (tap_) source_ = tap_->createRunLoopSource();
    if (source_) source_->addToRunLoop();
}

void InputMonitor::release() {
    if (source_) {
        source_->removeFromRunLoop();
        source_.reset();
    }
    tap_.reset();
}

void InputMonitor::resume() {
    if (tap_) tap_->enable(true);
}

void InputMonitor::later(void (InputMonitor::*work)()) {
    platform_.runLoop.post([this, work, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.lock()) (this->*work)();
    });
}

void InputMonitor::laterForHandler(void (InputHandler::*work)()) {
    platform_.runLoop.post([this, work, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.lock()) (handler_.*work)();
    });
}

void InputMonitor::onInput(InputEventType type, void* context) {
    auto& monitor = *static_cast<InputMonitor*>(context);
    switch (type) {
    case InputEventType::leftButtonDown:
        monitor.laterForHandler(&InputHandler::leftButtonPressed);
        break;
    case InputEventType::leftButtonUp:
        monitor.laterForHandler(&InputHandler::leftButtonReleased);
        break;
    case InputEventType::rightButtonDown:
    case InputEventType::keyDown:
    case InputEventType::otherButtonDown:
        monitor.handler_.otherInputPressed();
        break;
    case InputEventType::tapDisabledByTimeout:
        monitor.platform_.appServices.log("Quoddle passive kCGEventTapDisabledByTimeout " +
                                          signedNumberOf(type));
        monitor.later(&InputMonitor::resume);
        break;
    case InputEventType::tapDisabledByUserInput:
        monitor.platform_.appServices.log("Quoddle passive kCGEventTapDisabledByUserInput " +
                                          signedNumberOf(type));
        postNotificationOnMainThread(monitor.notifications_, monitor.platform_.runLoop,
                                     Notification{kReinstallInputTapNotification, &monitor, {}});
        break;
    }
}

} // namespace quoddle
