#pragma once
// Port: the persistent user-defaults domain of the application (what was stored, not what was registered).

#include "platform/PlistValue.h"

#include <string>

namespace quoddle {

class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;
    // The stored value, or null when nothing is stored under the key.
    virtual const PlistValue* find(const std::string& key) const = 0;
    virtual void set(const std::string& key, PlistValue value) = 0;
    virtual void remove(const std::string& key) = 0;
    virtual const PlistDictionary& all() const = 0;
    // Writes pending changes to the backing store; false when that failed (the values stay in memory).
    virtual bool synchronize() = 0;
    // Writes pending changes without the caller waiting for the disk, where the store can; a failure is
    // logged by the store, and the changes are written again with the next synchronisation.
    virtual void synchronizeInBackground() { synchronize(); }
};

} // namespace quoddle
