#include "support/UserDefaults.h"

#include <cmath>
#include <limits>

namespace quoddle {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::int64_t integerFromDouble(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 9.2233720368547758e18) return std::numeric_limits<std::int64_t>::max();
    if (value <= -9.2233720368547758e18) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

} // namespace

std::int32_t intValueOfString(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t magnitude = 0;
    const std::int64_t limit = negative ? -std::int64_t{std::numeric_limits<std::int32_t>::min()}
                                        : std::int64_t{std::numeric_limits<std::int32_t>::max()};
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude >= limit) {
            magnitude = limit;
            // Saturated: the remaining digits cannot change the result.
            break;
        }
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

bool boolValueOfString(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    while (i < text.size() && text[i] == '0')
        ++i;
    if (i == text.size()) return false;
    char c = text[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

void UserDefaults::registerDefaults(const PlistDictionary& defaults) {
    for (const auto& [key, value] : defaults)
        registered_.insert_or_assign(key, value);
}

const PlistValue* UserDefaults::objectForKey(const std::string& key) const {
    if (const PlistValue* stored = store_.find(key)) return stored;
    auto it = registered_.find(key);
    return it == registered_.end() ? nullptr : &it->second;
}

bool UserDefaults::boolForKey(const std::string& key) const {
    const PlistValue* value = objectForKey(key);
    if (!value) return false;
    if (auto b = value->get<bool>()) return *b;
    if (auto i = value->get<std::int64_t>()) return *i != 0;
    if (auto d = value->get<double>()) return *d != 0;
    if (auto s = value->get<std::string>()) return boolValueOfString(*s);
    return false;
}

std::int64_t UserDefaults::integerForKey(const std::string& key) const {
    const PlistValue* value = objectForKey(key);
    if (!value) return 0;
    if (auto i = value->get<std::int64_t>()) return *i;
    if (auto b = value->get<bool>()) return *b ? 1 : 0;
    if (auto d = value->get<double>()) return integerFromDouble(*d);
    if (auto s = value->get<std::string>()) return intValueOfString(*s);
    return 0;
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
    const PlistValue* value = objectForKey(key);
    if (!value) return std::nullopt;
    if (auto s = value->get<std::string>()) return *s;
    if (auto i = value->get<std::int64_t>()) return std::to_string(*i);
    if (auto b = value->get<bool>()) return std::string(*b ? "1" : "0");
    return std::nullopt;
}

} // namespace quoddle
