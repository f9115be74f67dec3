#pragma once
// Property-list values in tests: dates from their calendar fields (UTC), and readable values in failure
// messages.

#include "platform/PlistValue.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <ostream>

namespace quoddle {

inline PlistDate utc(int y, unsigned m, unsigned d, int hour = 0, int minute = 0, int second = 0,
                     int millis = 0) {
    using namespace std::chrono;
    return sys_days{year{y} / m / d} + hours{hour} + minutes{minute} + seconds{second} + milliseconds{millis};
}

// Dates as nanoseconds since 1970 and reals to the last digit; the rest as the test framework prints it,
// arrays and dictionaries value by value back through PrintTo.
struct PlistPrinter {
    std::ostream* out;
    void operator()(double number) const { *out << std::setprecision(17) << number << 'r'; }
    void operator()(PlistDate date) const {
        *out << "date " << date.time_since_epoch().count() << "ns after 1970";
    }
    void operator()(const auto& value) const { *out << ::testing::PrintToString(value); }
};

inline void PrintTo(const PlistValue& value, std::ostream* out) {
    std::visit(PlistPrinter{out}, value.storage());
}

} // namespace quoddle
