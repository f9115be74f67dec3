#pragma once
// Readable property-list values in test failure messages.

#include "platform/PlistValue.h"

#include <iomanip>
#include <ostream>

namespace quoddle {

inline void PrintTo(const PlistValue& value, std::ostream* out);

inline void PrintTo(const PlistDictionary& dictionary, std::ostream* out) {
    *out << '{';
    for (const auto& [key, item] : dictionary) {
        *out << std::quoted(key) << ": ";
        PrintTo(item, out);
        *out << "; ";
    }
    *out << '}';
}

inline void PrintTo(const PlistValue& value, std::ostream* out) {
    struct Visitor {
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
            for (const auto& item : array) PrintTo(item, out), *out << ", ";
            *out << ')';
        }
        void operator()(const PlistDictionary& dictionary) const { PrintTo(dictionary, out); }
    };
    std::visit(Visitor{out}, value.storage());
}

} // namespace quoddle
