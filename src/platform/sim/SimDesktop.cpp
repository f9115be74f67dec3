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
                Interface{window, settingWindow, nowLoadingWindow, settingTextView,
                          shortcutButtonSettingTextView, blacklistAppSettingTextView,
                          axapiMessageTextField}} {}

SimDesktop::~SimDesktop() = default;

RunningApplication SimDesktop::launch(const std::string& localizedName, const std::string& bundleIdentifier) {
    return workspace.launch(localizedName, bundleIdentifier, [&](const RunningApplication& application) {
        accessibility.addApplication(application.processIdentifier, localizedName);
    });
}

void SimDesktop::input(CGEventType type) {
    eventTaps.deliver(type, pointer.eventLocation());
    runLoop.runPending();
}

} // namespace quoddle
