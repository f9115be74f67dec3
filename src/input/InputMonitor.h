#pragma once
// The listen-only tap on the user's buttons and keys. A left press and a left release are queued for a
// later pass of the main loop (the work asks other applications about the pointer); a key, right or other
// press is handed on at once. A tap the window system switches off comes back.

#include "platform/Platform.h"
#include "support/NotificationCenter.h"

#include <memory>
#include <optional>

namespace quoddle {

// Who hears of the input.
class InputHandler {
public:
    virtual ~InputHandler() = default;
    virtual void leftButtonPressed() = 0;
    virtual void leftButtonReleased() = 0;
    // A key, right or other press: whatever a selection was leading to is over.
    virtual void otherInputPressed() = 0;
};

// Posted when the window system switched the tap off because of the user's input; the monitor then makes a
// new tap.
inline constexpr const char* kReinstallInputTapNotification = "installPassiveEventTapNotification";

class InputMonitor {
public:
    InputMonitor(Platform& platform, NotificationCenter& notifications, InputHandler& handler);
    ~InputMonitor();
    InputMonitor(const InputMonitor&) = delete;
    InputMonitor& operator=(const InputMonitor&) = delete;

    // Makes the tap (a new one when there is one) and puts it on the main loop; without a tap, no press or
    // release is ever seen.
    void install();

private:
    static void onInput(InputEventType type, void* context);
    void release();
    void resume();
    // Queued work runs only while this monitor lives.
    void later(void (InputMonitor::*work)());
    void laterForHandler(void (InputHandler::*work)());

    Platform& platform_;
    NotificationCenter& notifications_;
    InputHandler& handler_;
    std::unique_ptr<InputTap> tap_;
    std::unique_ptr<RunLoopSource> source_;
    std::optional<NotificationCenter::ObserverId> reinstallObserver_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace quoddle
