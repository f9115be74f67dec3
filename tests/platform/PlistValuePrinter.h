#pragma once
// Property-list values in tests: dates from their calendar fields (UTC), and readable values in failure
// messages.

#include "platform/PlistValue.h"

#include <iomanip>
#include <ostream>

namespace quoddle {

inline PlistDate utc(int y, unsigned m, unsigned d, int hour = 0, int minute = 0, int second = 0,
                     int millis = 0) {
    using namespace std::chrono;
    return sys_days{year{y} / m / d} + hours{hour} + minutes{minute} + seconds{second} + milliseconds{millis};
}

struct PlistPrinter {
    std::ostream* out;
    void operator()(const std::string& text) const { *out << std::quoted(text); }
    void operator()(std::int64_t number) const { *out << number; }
    void operator()(double number) const { *out << std::setprecision(17) << number << 'r'; }
    void operator()(bool flag) const { *out << (flag ? "YES" : "NO"); }
    void operator()(PlistDate date) const {
        *out << "date " << date.time_since_epoch().count() << "ns after 1970";
    }
    void operator()(const PlistData& data) const { *out << "<" << data.size() << " bytes>"; }
    void operator()(const PlistArray& array) const {
        *out << '(';
        for (const auto& item : array)
            std::visit(*this, item.storage()), *out << ", ";
        *out << ')';
    }
    void operator()(const PlistDictionary& dictionary) const {
        *out << '{';
        for (const auto& [key, item] : dictionary)
            *out << std::quoted(key) << ": ", std::visit(*this, item.storage()), *out << "; ";
        *out << '}';
    }
};

inline void PrintTo(const PlistValue& value, std::ostream* out) {
    std::visit(PlistPrinter{out}, value.storage());
}
inline void PrintTo(const PlistDictionary& dictionary, std::ostream* out) {
    PlistPrinter{out}(dictionary);
}

} // namespace quoddle
