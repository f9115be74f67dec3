#include "platform/sim/SimDesktop.h"

namespace quoddle {

namespace {

// Accessibility with access switched off: every request fails as the platform reports it then.
class UnavailableAccessibility : public Accessibility {
public:
    bool isAPIEnabled() const override { return false; }
    AXUIElementRef createSystemWide() override { return nullptr; }
    AXUIElementRef createApplication(ProcessId) override { return nullptr; }
    AXResult<AXUIElementRef> copyElementAtPosition(const AXUIElementRef&, float, float) override {
        return {kAXErrorAPIDisabled, nullptr};
    }
    AXResult<AXAttributeValue> copyAttributeValue(const AXUIElementRef&, const std::string&) override {
        return {kAXErrorAPIDisabled, {}};
    }
    AXResult<std::vector<std::string>> copyAttributeNames(const AXUIElementRef&) override {
        return {kAXErrorAPIDisabled, {}};
    }
    AXResult<std::vector<std::string>> copyActionNames(const AXUIElementRef&) override {
        return {kAXErrorAPIDisabled, {}};
    }
    AXError performAction(const AXUIElementRef&, const std::string&) override { return kAXErrorAPIDisabled; }
    AXResult<ProcessId> getPid(const AXUIElementRef&) override { return {kAXErrorAPIDisabled, -1}; }
    AXError postKeyboardEvent(const AXUIElementRef&, char16_t, std::uint16_t, bool) override {
        return kAXErrorAPIDisabled;
    }
    AXResult<AXObserverRef> createObserver(ProcessId, AXObserverCallback) override {
        return {kAXErrorAPIDisabled, nullptr};
    }
};

} // namespace

SimDesktop::SimDesktop()
    : accessibility_(std::make_unique<UnavailableAccessibility>()),
      platform_{defaultsStore,
                workspace,
                runLoop,
                clock,
                appServices,
                *accessibility_,
                eventTaps,
                pointer,
                screens,
                keyboardLayout,
                loginItems,
                Interface{window, settingWindow, nowLoadingWindow, settingTextView, shortcutButtonSettingTextView,
                          blacklistAppSettingTextView, axapiMessageTextField}} {}

SimDesktop::~SimDesktop() = default;

Accessibility& SimDesktop::accessibility() { return *accessibility_; }

} // namespace quoddle
