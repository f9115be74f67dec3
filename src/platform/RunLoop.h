#pragma once
// Port: the main thread's run loop. Everything the core does runs on it; other threads hand work over.
// Timers and queued work run on the main loop only, never inside another call into the core.

#include <chrono>
#include <cstdint>
#include <functional>

namespace quoddle {

using TimerId = std::uint64_t;

class RunLoop {
public:
    using Task = std::function<void()>;

    virtual ~RunLoop() = default;
    virtual bool isMainThread() const = 0;
    // Queues the task for a later pass of the main loop. Safe to call from any thread.
    virtual void post(Task task) = 0;
    // Schedules a timer on the main loop; a repeating one fires every interval until invalidated.
    virtual TimerId scheduleTimer(std::chrono::duration<double> interval, bool repeats, Task action) = 0;
    // Invalidating an unknown or already fired timer does nothing.
    virtual void invalidateTimer(TimerId timer) = 0;
};

} // namespace quoddle
