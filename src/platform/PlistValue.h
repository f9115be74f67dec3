#pragma once
// A property-list value: what user defaults store and what the stored service history is made of.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quoddle {

class PlistValue;
using PlistArray = std::vector<PlistValue>;
using PlistDictionary = std::map<std::string, PlistValue>;
using PlistDate = std::chrono::system_clock::time_point;
using PlistData = std::vector<std::uint8_t>;

class PlistValue {
public:
    using Storage = std::variant<std::string, std::int64_t, double, bool, PlistDate, PlistData, PlistArray,
                                 PlistDictionary>;

    PlistValue() : storage_(std::string()) {}
    PlistValue(std::string value) : storage_(std::move(value)) {}
    PlistValue(const char* value) : storage_(std::string(value)) {}
    PlistValue(std::int64_t value) : storage_(value) {}
    PlistValue(int value) : storage_(std::int64_t{value}) {}
    PlistValue(double value) : storage_(value) {}
    PlistValue(bool value) : storage_(value) {}
    PlistValue(PlistDate value) : storage_(value) {}
    PlistValue(PlistData value) : storage_(std::move(value)) {}
    PlistValue(PlistArray value) : storage_(std::move(value)) {}
    PlistValue(PlistDictionary value) : storage_(std::move(value)) {}

    template <typename T> bool is() const { return std::holds_alternative<T>(storage_); }
    template <typename T> const T* get() const { return std::get_if<T>(&storage_); }
    template <typename T> T* get() { return std::get_if<T>(&storage_); }
    const Storage& storage() const { return storage_; }

    friend bool operator==(const PlistValue&, const PlistValue&) = default;

private:
    Storage storage_;
};

} // namespace quoddle
