#pragma once
// User defaults held in memory only: what tests and the demo use.

#include "platform/DefaultsStore.h"

namespace quoddle {

class SimDefaultsStore : public DefaultsStore {
public:
    const PlistValue* find(const std::string& key) const override {
        auto it = values_.find(key);
        return it == values_.end() ? nullptr : &it->second;
    }
    void set(const std::string& key, PlistValue value) override {
        values_.insert_or_assign(key, std::move(value));
    }
    void remove(const std::string& key) override { values_.erase(key); }
    const PlistDictionary& all() const override { return values_; }
    bool synchronize() override {
        ++synchronizeCount;
        return true;
    }

    int synchronizeCount = 0;

private:
    PlistDictionary values_;
};

} // namespace quoddle
