#include "platform/linux/qt/QtRunLoop.h"

#include <QCoreApplication>
#include <QTimer>

#include <cmath>
#include <limits>

namespace quoddle {

struct QtRunLoop::Timer {
    std::unique_ptr<QTimer> qtimer;
    bool repeats = false;
    Task action;
};

int timerMilliseconds(std::chrono::duration<double> interval) {
    const double ms = interval.count() * 1000.0;
    if (!(ms > 0)) return 0; // negative and NaN
    constexpr double limit = std::numeric_limits<int>::max();
    return ms >= limit ? std::numeric_limits<int>::max() : static_cast<int>(std::lround(ms));
}

QtRunLoop::QtRunLoop() : mainThread_(std::this_thread::get_id()), context_(std::make_unique<QObject>()) {}

QtRunLoop::~QtRunLoop() {
    for (auto& [id, timer] : timers_)
        timer->qtimer->stop();
}

bool QtRunLoop::isMainThread() const {
    return std::this_thread::get_id() == mainThread_;
}

void QtRunLoop::post(Task task) {
    // The context lives on the main thread, so the task runs there, on a later pass of its loop.
    QMetaObject::invokeMethod(context_.get(), std::move(task), Qt::QueuedConnection);
}

TimerId QtRunLoop::scheduleTimer(std::chrono::duration<double> interval, bool repeats, Task action) {
    const TimerId id = nextTimer_++;
    auto timer = std::make_shared<Timer>();
    timer->qtimer = std::make_unique<QTimer>();
    timer->qtimer->setSingleShot(!repeats);
    timer->qtimer->setInterval(timerMilliseconds(interval));
    timer->repeats = repeats;
    timer->action = std::move(action);
    QObject::connect(timer->qtimer.get(), &QTimer::timeout, context_.get(), [this, id] { fire(id); });
    timer->qtimer->start();
    timers_.emplace(id, std::move(timer));
    return id;
}

void QtRunLoop::invalidateTimer(TimerId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    std::shared_ptr<Timer> timer = std::move(it->second);
    timers_.erase(it);
    timer->qtimer->stop();
    // Invalidated from inside its own action the QTimer is still emitting: delete it once that is over.
    timer->qtimer.release()->deleteLater();
}

void QtRunLoop::fire(TimerId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    // Held here, the timer and its action outlive an invalidation from inside the action.
    std::shared_ptr<Timer> timer = it->second;
    if (!timer->repeats) {
        timers_.erase(it);
        timer->qtimer.release()->deleteLater();
    }
    // A repeating action that turns a nested loop (a modal alert, say) is not entered again from inside
    // it: Qt never delivers a timer again while its own delivery is under way.
    timer->action();
}

} // namespace quoddle
