#pragma once
// The simulated main run loop and clock: queued work and timers run only when a test or the demo turns
// the loop, so everything happens in a deterministic order on virtual time.

#include "platform/Clock.h"
#include "platform/RunLoop.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace quoddle {

class SimClock : public Clock {
public:
    // Starts at a fixed, recent moment so that dates in tests are reproducible.
    SimClock();
    TimePoint now() const override { return now_; }
    void advance(std::chrono::duration<double> by);
    void set(TimePoint to) { now_ = to; }

private:
    TimePoint now_;
};

class SimRunLoop : public RunLoop {
public:
    explicit SimRunLoop(SimClock& clock) : clock_(clock), mainThread_(std::this_thread::get_id()) {}

    bool isMainThread() const override { return std::this_thread::get_id() == mainThread_; }
    void post(Task task) override;
    TimerId scheduleTimer(std::chrono::duration<double> interval, bool repeats, Task action) override;
    void invalidateTimer(TimerId timer) override;

    // Runs queued work until the queue is empty (work queued meanwhile included). Returns how many ran.
    int runPending();
    // Moves virtual time forward, firing due timers in time order with queued work run in between.
    void advance(std::chrono::duration<double> by);
    // Waits (in real time, up to the timeout) for work from another thread, running it as it comes,
    // until the predicate holds. Returns the predicate's last value.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    bool isTimerScheduled(TimerId timer) const { return timers_.count(timer) != 0; }
    std::size_t scheduledTimerCount() const { return timers_.size(); }

private:
    struct Timer {
        TimePoint fireAt;
        std::chrono::duration<double> interval;
        bool repeats;
        Task action;
    };
    bool runOne();

    SimClock& clock_;
    std::thread::id mainThread_;
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<Task> queue_;
    std::map<TimerId, Timer> timers_;
    TimerId nextTimer_ = 1;
};

} // namespace quoddle
