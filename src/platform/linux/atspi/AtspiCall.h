#pragma once
// The tree's own bookkeeping of its AT-SPI calls (AtspiTree.cpp and AtspiServicesMenu.cpp).

#include "platform/linux/atspi/AtspiTree.h"

namespace quoddle {

// Measures the AT-SPI calls of one port operation on one application: an operation that failed and took
// the time-out marks the application unresponsive.
class AtspiCall {
public:
    // The operation's name goes into the log line of an application marked unresponsive.
    AtspiCall(AtspiTree& tree, ProcessId pid, const char* operation = __builtin_FUNCTION())
        : tree_(tree), pid_(pid), operation_(operation), start_(AtspiTree::Clock::now()) {}
    AtspiCall(const AtspiCall&) = delete;
    AtspiCall& operator=(const AtspiCall&) = delete;
    ~AtspiCall() { tree_.noteCall(pid_, operation_, AtspiTree::Clock::now() - start_, failed_); }
    bool refused() { return tree_.isUnresponsive(pid_); }
    void failed() { failed_ = true; }

private:
    AtspiTree& tree_;
    ProcessId pid_;
    const char* operation_;
    AtspiTree::Clock::time_point start_;
    bool failed_ = false;
};

} // namespace quoddle
