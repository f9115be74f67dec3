#pragma once
// The core's run loop on Qt's event loop: queued work as queued invocations on the main thread, timers as
// QTimers. Nothing is polled, so the loop sleeps while nothing is scheduled.
//
// Construct it on the main thread after the QCoreApplication; only post() may be called from other threads.

#include "platform/RunLoop.h"

#include <QObject>

#include <map>
#include <memory>
#include <thread>

class QTimer;

namespace quoddle {

class QtRunLoop : public RunLoop {
public:
    QtRunLoop();
    ~QtRunLoop() override;
    QtRunLoop(const QtRunLoop&) = delete;
    QtRunLoop& operator=(const QtRunLoop&) = delete;

    bool isMainThread() const override;
    void post(Task task) override;
    TimerId scheduleTimer(std::chrono::duration<double> interval, bool repeats, Task action) override;
    void invalidateTimer(TimerId timer) override;

    // How many timers are scheduled and not yet fired (one-shot) or invalidated.
    std::size_t scheduledTimerCount() const { return timers_.size(); }

private:
    struct Timer;
    void fire(TimerId id);

    std::thread::id mainThread_;
    // The receiver of queued work: work still queued when the loop goes is dropped with it.
    std::unique_ptr<QObject> context_;
    std::map<TimerId, std::shared_ptr<Timer>> timers_;
    TimerId nextTimer_ = 1;
};

// A duration as whole milliseconds for QTimer: rounded to the nearest, negative as 0, and no more than an
// int holds.
int timerMilliseconds(std::chrono::duration<double> interval);

} // namespace quoddle
