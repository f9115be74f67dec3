#include "platform/sim/SimRunLoop.h"

#include <limits>

namespace quoddle {

SimClock::SimClock()
    : now_(std::chrono::sys_days{std::chrono::year{2026} / 11 / 2} + std::chrono::hours{9}) {}

void SimClock::advance(std::chrono::duration<double> by) {
    now_ += std::chrono::duration_cast<TimePoint::duration>(by);
}

void SimRunLoop::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(task));
    }
    posted_.notify_all();
}

TimerId SimRunLoop::scheduleTimer(std::chrono::duration<double> interval, bool repeats, Task action) {
    TimerId id = nextTimer_++;
    auto step = std::chrono::duration_cast<TimePoint::duration>(interval);
    timers_.emplace(id, Timer{clock_.now() + step, interval, repeats, std::move(action)});
    return id;
}

void SimRunLoop::invalidateTimer(TimerId timer) {
    timers_.erase(timer);
}

bool SimRunLoop::runOne() {
    Task task;
    {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) return false;
        task = std::move(queue_.front());
        queue_.pop_front();
    }
    task();
    return true;
}

int SimRunLoop::runPending() {
    int ran = 0;
    while (runOne())
        ++ran;
    return ran;
}

void SimRunLoop::advance(std::chrono::duration<double> by) {
    const TimePoint end = clock_.now() + std::chrono::duration_cast<TimePoint::duration>(by);
    runPending();
    for (;;) {
        auto due = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->second.fireAt <= end && (due == timers_.end() || it->second.fireAt < due->second.fireAt))
                due = it;
        if (due == timers_.end()) break;
        clock_.set(due->second.fireAt);
        Task action = due->second.action; // the action may invalidate its own timer
        if (due->second.repeats)
            due->second.fireAt += std::chrono::duration_cast<TimePoint::duration>(due->second.interval);
        else
            timers_.erase(due);
        action();
        runPending();
    }
    clock_.set(end);
}

bool SimRunLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        runPending();
        if (done()) return true;
        std::unique_lock lock(mutex_);
        if (!posted_.wait_until(lock, deadline, [this] { return !queue_.empty(); })) return done();
    }
}

} // namespace quoddle
