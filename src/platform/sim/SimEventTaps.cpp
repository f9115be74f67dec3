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

std::unique_ptr<EventTap> SimEventTaps::createListenOnlyTap(CGEventMask mask, CGEventTapCallBack callback,
                                                            void* userInfo) {
    if (refuseTaps) return nullptr;
    ++tapsCreated;
    auto tap = std::make_unique<SimEventTap>(*this, mask, callback, userInfo);
    liveTap = tap.get();
    return tap;
}

void SimEventTaps::deliver(CGEventType type, Point eventLocation) {
    if (liveTap) liveTap->deliver(type, eventLocation);
}

void SimEventTaps::disableTap(CGEventType reason) {
    if (liveTap) liveTap->disable(reason);
}

SimEventTap::~SimEventTap() {
    if (owner_.liveTap == this) owner_.liveTap = nullptr;
}

std::unique_ptr<RunLoopSource> SimEventTap::createRunLoopSource() {
    return std::make_unique<SimTapSource>(*this);
}

void SimEventTap::deliver(CGEventType type, Point eventLocation) {
    if (!enabled || !onRunLoop || type >= 64 || (mask_ & CGEventMaskBit(type)) == 0) return;
    CGEvent event{type, eventLocation};
    callback_(nullptr, type, &event, userInfo_);
}

void SimEventTap::disable(CGEventType reason) {
    enabled = false;
    if (!onRunLoop) return;
    CGEvent event{reason, {}};
    callback_(nullptr, reason, &event, userInfo_);
}

} // namespace quoddle
