#include "platform/linux/x11/XRecordEventTaps.h"

#include <algorithm>

namespace quoddle {

namespace {

using Kind = InputEvent::Kind;

struct Translation {
    Kind kind;
    unsigned firstDetail, lastDetail;
    std::optional<InputEventType> type;
};

constexpr unsigned kAnyDetail = ~0u;

// The first row that matches wins. Wheel buttons send a press and a release per step; a step is no press.
constexpr Translation kTranslations[] = {
    {Kind::buttonPress, 1, 1, InputEventType::leftButtonDown},
    {Kind::buttonPress, 2, 2, InputEventType::otherButtonDown},
    {Kind::buttonPress, 3, 3, InputEventType::rightButtonDown},
    {Kind::buttonPress, 4, 7, std::nullopt},
    {Kind::buttonPress, 8, kAnyDetail, InputEventType::otherButtonDown},
    {Kind::buttonRelease, 1, 1, InputEventType::leftButtonUp},
    {Kind::buttonRelease, 0, kAnyDetail, std::nullopt},
    {Kind::keyPress, 0, kAnyDetail, InputEventType::keyDown},
    {Kind::keyRelease, 0, kAnyDetail, std::nullopt},
    {Kind::motion, 0, kAnyDetail, std::nullopt},
    {Kind::broken, 0, kAnyDetail, InputEventType::tapDisabledByUserInput},
};

// Shared by the tap and its run-loop source, so either may go first.
struct TapState {
    TapState(XRecordInput& input, std::shared_ptr<const bool> paused, InputEventMask mask,
             InputTapCallback callback, void* context)
        : input(input), paused(std::move(paused)), mask(mask), callback(callback), context(context) {}
    ~TapState() { detach(); }

    void attach();
    void detach();
    void handle(const InputEvent& event);

    XRecordInput& input;
    const std::shared_ptr<const bool> paused;
    const InputEventMask mask;
    const InputTapCallback callback;
    void* const context;
    bool enabled = true;
    std::optional<XRecordInput::ListenerId> listener;
};

void TapState::attach() {
    if (listener) return;
    listener = input.addListener([this](const InputEvent& event) { handle(event); });
}

void TapState::detach() {
    if (!listener) return;
    input.removeListener(*listener);
    listener.reset();
}

void TapState::handle(const InputEvent& event) {
    const std::optional<InputEventType> type = coreEventTypeOf(event);
    if (!type) return;
    if (*type == InputEventType::tapDisabledByUserInput) {
        enabled = false;
        callback(*type, context);
        return;
    }
    if (!enabled || static_cast<std::uint32_t>(*type) >= 64 || (mask & maskOf(*type)) == 0) return;
    if (*paused && *type == InputEventType::leftButtonUp) return;
    callback(*type, context);
}

class XRecordRunLoopSource : public RunLoopSource {
public:
    explicit XRecordRunLoopSource(std::weak_ptr<TapState> state) : state_(std::move(state)) {}
    ~XRecordRunLoopSource() override { removeFromRunLoop(); }
    void addToRunLoop() override {
        if (auto state = state_.lock()) state->attach();
    }
    void removeFromRunLoop() override {
        if (auto state = state_.lock()) state->detach();
    }

private:
    std::weak_ptr<TapState> state_;
};

class XRecordEventTap : public InputTap {
public:
    explicit XRecordEventTap(std::shared_ptr<TapState> state) : state_(std::move(state)) {}
    void enable(bool on) override { state_->enabled = on; }
    std::unique_ptr<RunLoopSource> createRunLoopSource() override {
        return std::make_unique<XRecordRunLoopSource>(state_);
    }

private:
    std::shared_ptr<TapState> state_;
};

} // namespace

std::optional<InputEventType> coreEventTypeOf(const InputEvent& event) {
    const auto row =
        std::find_if(std::begin(kTranslations), std::end(kTranslations), [&](const Translation& t) {
            return t.kind == event.kind && event.detail >= t.firstDetail && event.detail <= t.lastDetail;
        });
    return row == std::end(kTranslations) ? std::nullopt : row->type;
}

std::unique_ptr<InputTap> XRecordEventTaps::createListenOnlyTap(InputEventMask mask,
                                                                InputTapCallback callback, void* context) {
    if (!callback || !input_.start()) return nullptr;
    return std::make_unique<XRecordEventTap>(
        std::make_shared<TapState>(input_, paused_, mask, callback, context));
}

} // namespace quoddle
