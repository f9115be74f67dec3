#include "platform/sim/SimEventTaps.h"

namespace quoddle {

namespace {

class SimTapSource : public RunLoopSource {
public:
    explicit SimTapSource(SimEventTap& tap) : tap_(tap) {}
    void addToRunLoop() override { tap_.onRunLoop = true; }
    void removeFromRunLoop() override { tap_.onRunLoop = false; }

private:
    SimEventTap& tap_;
};

} // namespace

std::unique_ptr<InputTap> SimEventTaps::createListenOnlyTap(InputEventMask mask, InputTapCallback callback,
                                                            void* context) {
    if (refuseTaps) return nullptr;
    ++tapsCreated;
    auto tap = std::make_unique<SimEventTap>(*this, mask, callback, context);
    liveTap = tap.get();
    return tap;
}

void SimEventTaps::deliver(InputEventType type) {
    if (liveTap) liveTap->deliver(type);
}

void SimEventTaps::disableTap(InputEventType reason) {
    if (liveTap) liveTap->disable(reason);
}

SimEventTap::~SimEventTap() {
    if (owner_.liveTap == this) owner_.liveTap = nullptr;
}

std::unique_ptr<RunLoopSource> SimEventTap::createRunLoopSource() {
    return std::make_unique<SimTapSource>(*this);
}

void SimEventTap::deliver(InputEventType type) {
    if (!enabled || !onRunLoop || static_cast<std::uint32_t>(type) >= 64 || (mask_ & maskOf(type)) == 0)
        return;
    callback_(type, context_);
}

void SimEventTap::disable(InputEventType reason) {
    enabled = false;
    if (onRunLoop) callback_(reason, context_);
}

} // namespace quoddle
