#pragma once
// User defaults kept in a binary property-list file: loaded when the store is made, written back by
// synchronize() when something changed, or by a writer thread of the store's own (synchronizeInBackground),
// so that encoding and writing a large history never holds up the caller.

#include "platform/DefaultsStore.h"

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace quoddle {

class FileDefaultsStore : public DefaultsStore {
public:
    // Called on the writer thread too, for a write that failed there.
    using Logger = std::function<void(const std::string& line)>;
    // Told of every change of a value, on the thread that made it.
    using ChangeHandler = std::function<void()>;

    // The file at defaultPath().
    explicit FileDefaultsStore(Logger log = {});
    // A missing file means an empty store. A file that is not a property list with a dictionary at the top is
    // moved aside to "<path>.corrupt-<UTC time>" and the store starts empty, with one log line naming both
    // paths. A file that cannot be opened or read, or moved aside, is logged and never written over.
    explicit FileDefaultsStore(std::filesystem::path path, Logger log = {});
    // Waits for a write in progress.
    ~FileDefaultsStore() override;
    FileDefaultsStore(const FileDefaultsStore&) = delete;
    FileDefaultsStore& operator=(const FileDefaultsStore&) = delete;

    // $XDG_CONFIG_HOME/quoddle/preferences.plist, else the same under ~/.config.
    static std::filesystem::path defaultPath();
    const std::filesystem::path& path() const { return path_; }

    // Valid until the next change.
    const PlistValue* find(const std::string& key) const override;
    // Stores the value in the form the file holds (see makeStorable), so what is read back after a reload
    // is what find() gives now.
    void set(const std::string& key, PlistValue value) override;
    void remove(const std::string& key) override;
    // Valid until the next change.
    const PlistDictionary& all() const override { return *values_; }
    // Replaces the file atomically (mode 0600, its folder made 0700 when missing) when something changed
    // since the last write; false, with a log line, when that failed. Waits for a background write first,
    // so the file only ever moves forward.
    bool synchronize() override;
    // Hands a copy of the values to the writer thread and returns; a newer copy replaces one not yet
    // written. A failed write is logged and makes the next synchronisation write again.
    void synchronizeInBackground() override;
    void setChangeHandler(ChangeHandler handler) { changeHandler_ = std::move(handler); }

private:
    void load();
    void log(const std::string& line) const;
    void noteChange();
    PlistDictionary& mutableValues();
    bool writeValues(const PlistDictionary& values) const;
    void runWriter();
    void waitForWriter();

    std::filesystem::path path_;
    Logger log_;
    // Shared with the writer thread while it writes them (copied on change, so neither waits).
    std::shared_ptr<PlistDictionary> values_ = std::make_shared<PlistDictionary>();
    bool changed_ = false;
    // Set when an unreadable file could not be moved aside: it is never written over.
    bool fileIsKeptUnread_ = false;
    ChangeHandler changeHandler_;

    // The writer thread, started by the first background write, and what it is handed.
    std::thread writer_;
    std::mutex writerMutex_;
    std::condition_variable writerWake_;
    std::shared_ptr<const PlistDictionary> toWrite_;
    bool writing_ = false;
    bool stopWriter_ = false;
    std::atomic<bool> backgroundWriteFailed_{false};
};

} // namespace quoddle
