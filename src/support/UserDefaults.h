#pragma once
// The standard user defaults: the stored domain, with registered defaults (memory only) behind it, and the
// platform's typed readers.

#include "platform/DefaultsStore.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quoddle {

class UserDefaults {
public:
    explicit UserDefaults(DefaultsStore& store) : store_(store) {}

    // Registered values are never written to the store.
    void registerDefaults(const PlistDictionary& defaults);
    const PlistDictionary& registeredDefaults() const { return registered_; }

    // The stored value, else the registered one, else null.
    const PlistValue* objectForKey(const std::string& key) const;
    // Strings parse like the platform's boolValue/integerValue; other kinds give NO, 0 or none.
    bool boolForKey(const std::string& key) const;
    std::int64_t integerForKey(const std::string& key) const;
    std::optional<std::string> stringForKey(const std::string& key) const;

    void setObject(const std::string& key, PlistValue value) { store_.set(key, std::move(value)); }
    void setBool(const std::string& key, bool value) { store_.set(key, value); }
    void setInteger(const std::string& key, std::int64_t value) { store_.set(key, value); }
    void removeObjectForKey(const std::string& key) { store_.remove(key); }
    bool synchronize() { return store_.synchronize(); }
    void synchronizeInBackground() { store_.synchronizeInBackground(); }

private:
    DefaultsStore& store_;
    PlistDictionary registered_;
};

// The platform's intValue reading of a string: leading white space, an optional sign, digits up to the
// first other character; no digits gives 0; overflow saturates to the 32-bit limits.
std::int32_t intValueOfString(const std::string& text);
// The platform's boolValue of a string: YES for a leading Y, y, T, t or non-zero digit after white space,
// an optional sign and leading zeros.
bool boolValueOfString(const std::string& text);

} // namespace quoddle
