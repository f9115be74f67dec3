#pragma once
// User defaults kept in a binary property-list file: loaded when the store is made, written back by
// synchronize() when something changed.

#include "platform/DefaultsStore.h"

#include <filesystem>
#include <functional>
#include <string>

namespace quoddle {

class FileDefaultsStore : public DefaultsStore {
public:
    using Logger = std::function<void(const std::string& line)>;

    // The file at defaultPath().
    explicit FileDefaultsStore(Logger log = {});
    // A missing file means an empty store. A file that is not a property list with a dictionary at the top is
    // moved aside to "<path>.corrupt-<UTC time>" and the store starts empty, with one log line naming both
    // paths. A file that cannot be opened or read, or moved aside, is logged and never written over.
    explicit FileDefaultsStore(std::filesystem::path path, Logger log = {});

    // $XDG_CONFIG_HOME/quoddle/preferences.plist, else the same under ~/.config.
    static std::filesystem::path defaultPath();
    const std::filesystem::path& path() const { return path_; }

    const PlistValue* find(const std::string& key) const override;
    // Stores the value in the form the file holds (see storableValue), so what is read back after a reload
    // is what find() gives now.
    void set(const std::string& key, PlistValue value) override;
    void remove(const std::string& key) override;
    const PlistDictionary& all() const override { return values_; }
    // Replaces the file atomically (mode 0600, its folder made 0700 when missing) when something changed
    // since the last write; false, with a log line, when that failed.
    bool synchronize() override;

private:
    void load();
    void log(const std::string& line) const;

    std::filesystem::path path_;
    Logger log_;
    PlistDictionary values_;
    bool changed_ = false;
    // Set when an unreadable file could not be moved aside: it is never written over.
    bool fileIsKeptUnread_ = false;
};

} // namespace quoddle
