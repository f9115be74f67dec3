#include "platform/sim/SimDesktop.h"

namespace quoddle {

SimDesktop::SimDesktop()
    : platform_{defaultsStore,
                workspace,
                runLoop,
                clock,
                appServices,
                accessibility,
                eventTaps,
                pointer,
                screens,
                keyboardLayout,
                loginItems,
                Interface{window, settingWindow, nowLoadingWindow, settingTextView, shortcutButtonSettingTextView,
                          blacklistAppSettingTextView, axapiMessageTextField}} {}

SimDesktop::~SimDesktop() = default;

void SimDesktop::input(CGEventType type) {
    eventTaps.deliver(type, pointer.eventLocation());
    runLoop.runPending();
}

} // namespace quoddle
