#pragma once
// Port: the wall clock the history dates come from.

#include <chrono>

namespace quoddle {

using TimePoint = std::chrono::system_clock::time_point;

class Clock {
public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
};

} // namespace quoddle
