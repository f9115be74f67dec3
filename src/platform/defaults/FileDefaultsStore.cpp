#include "platform/defaults/FileDefaultsStore.h"

#include "platform/defaults/FileDescriptor.h"
#include "platform/defaults/PlistCodec.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace quoddle {

namespace {

namespace fs = std::filesystem;

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// The file's first bytes, up to one more than a property list may have; none, with the reason in error, when
// it cannot be read.
std::optional<std::string> readFile(const fs::path& path, std::error_code& error) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        error = lastError();
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        if (bytes.size() > kMaxPlistFileSize) return bytes;
        ssize_t count = ::read(file.get(), buffer, sizeof buffer);
        if (count == 0) return bytes;
        if (count < 0 && errno != EINTR) {
            error = lastError();
            return std::nullopt;
        }
        if (count > 0) bytes.append(buffer, static_cast<std::size_t>(count));
    }
}

bool writeAll(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno != EINTR) return false;
        if (count > 0) done += static_cast<std::size_t>(count);
    }
    return true;
}

// Makes the missing folders of the path, readable by the user only.
bool makeFolders(const fs::path& folder) {
    fs::path partial;
    for (const auto& part : folder) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// Makes a rename in the folder durable.
std::error_code syncFolder(const fs::path& folder) {
    FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() < 0 || ::fsync(directory.get()) != 0) return lastError();
    return {};
}

// Writes a temporary file beside the target and renames it over, so that the target is always either the
// old file or the whole new one, also after a crash or power loss. Gives why it failed, or no error.
std::error_code replaceFile(const fs::path& path, const std::string& bytes) {
    fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    if (!makeFolders(folder)) return lastError();
    std::string temporary = (folder / (path.filename().string() + ".XXXXXX")).string();
    FileDescriptor file(::mkstemp(temporary.data()));
    if (file.get() < 0) return lastError();
    bool written = ::fchmod(file.get(), 0600) == 0 && writeAll(file.get(), bytes) && ::fsync(file.get()) == 0;
    std::error_code error = written ? std::error_code() : lastError();
    if (!file.close() && !error) error = lastError();
    if (!error && ::rename(temporary.c_str(), path.c_str()) != 0) error = lastError();
    if (error) {
        ::unlink(temporary.c_str());
        return error;
    }
    return syncFolder(folder);
}

std::string utcTimestamp() {
    std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

// Renames the file to "<path>.corrupt-<UTC time>", with "-2", "-3", ... added when that name is taken; the
// rename never replaces an existing file. None, with the reason in error, when it could not be moved.
std::optional<fs::path> moveAside(const fs::path& path, std::error_code& error) {
    std::string base = path.string() + ".corrupt-" + utcTimestamp();
    for (int attempt = 1;; ++attempt) {
        std::string aside = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) return aside;
        if (errno != EEXIST || attempt == 1000) {
            error = lastError();
            return std::nullopt;
        }
    }
}

fs::path homeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return {};
}

} // namespace

FileDefaultsStore::FileDefaultsStore(Logger log) : FileDefaultsStore(defaultPath(), std::move(log)) {}

FileDefaultsStore::FileDefaultsStore(std::filesystem::path path, Logger log)
    : path_(std::move(path)), log_(std::move(log)) {
    load();
}

std::filesystem::path FileDefaultsStore::defaultPath() {
    // A relative XDG_CONFIG_HOME is invalid and is ignored, as the base-directory rules say.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    fs::path base =
        config && *config && fs::path(config).is_absolute() ? fs::path(config) : homeFolder() / ".config";
    return base / "quoddle" / "preferences.plist";
}

const PlistValue* FileDefaultsStore::find(const std::string& key) const {
    auto it = values_->find(storableString(key));
    return it == values_->end() ? nullptr : &it->second;
}

FileDefaultsStore::~FileDefaultsStore() {
    if (!writer_.joinable()) return;
    {
        std::lock_guard lock(writerMutex_);
        stopWriter_ = true;
    }
    writerWake_.notify_all();
    writer_.join();
}

PlistDictionary& FileDefaultsStore::mutableValues() {
    // The writer thread may still be encoding these values: change a copy of them instead.
    if (values_.use_count() > 1) values_ = std::make_shared<PlistDictionary>(*values_);
    return *values_;
}

void FileDefaultsStore::noteChange() {
    changed_ = true;
    if (changeHandler_) changeHandler_();
}

void FileDefaultsStore::set(const std::string& key, PlistValue value) {
    std::string storedKey = storableString(key);
    makeStorable(value);
    if (auto it = values_->find(storedKey); it != values_->end() && it->second == value) return;
    mutableValues().insert_or_assign(std::move(storedKey), std::move(value));
    noteChange();
}

void FileDefaultsStore::remove(const std::string& key) {
    const std::string storedKey = storableString(key);
    if (!values_->contains(storedKey)) return;
    mutableValues().erase(storedKey);
    noteChange();
}

bool FileDefaultsStore::writeValues(const PlistDictionary& values) const {
    auto bytes = encodeBinaryPlist(values);
    if (!bytes) {
        log("Preferences not written to " + path_.string() + ": they could not be encoded");
        return false;
    }
    if (auto error = replaceFile(path_, *bytes)) {
        log("Preferences not written to " + path_.string() + ": " + error.message());
        return false;
    }
    return true;
}

bool FileDefaultsStore::synchronize() {
    waitForWriter();
    if (backgroundWriteFailed_.exchange(false)) changed_ = true;
    if (!changed_) return true;
    if (fileIsKeptUnread_) {
        log("Preferences not written: " + path_.string() + " could not be read and is left as it is");
        return false;
    }
    if (!writeValues(*values_)) return false;
    changed_ = false;
    return true;
}

void FileDefaultsStore::synchronizeInBackground() {
    if (backgroundWriteFailed_.exchange(false)) changed_ = true;
    if (!changed_) return;
    if (fileIsKeptUnread_) {
        log("Preferences not written: " + path_.string() + " could not be read and is left as it is");
        return;
    }
    {
        std::lock_guard lock(writerMutex_);
        toWrite_ = values_; // shared: the next change copies them first
    }
    changed_ = false;
    if (!writer_.joinable()) writer_ = std::thread([this] { runWriter(); });
    writerWake_.notify_all();
}

void FileDefaultsStore::runWriter() {
    std::unique_lock lock(writerMutex_);
    for (;;) {
        writerWake_.wait(lock, [this] { return toWrite_ || stopWriter_; });
        // What was handed over is written before the thread ends.
        if (!toWrite_) return;
        std::shared_ptr<const PlistDictionary> values = std::move(toWrite_);
        toWrite_.reset();
        writing_ = true;
        lock.unlock();
        if (!writeValues(*values)) backgroundWriteFailed_ = true;
        values.reset();
        lock.lock();
        writing_ = false;
        writerWake_.notify_all();
    }
}

void FileDefaultsStore::waitForWriter() {
    if (!writer_.joinable()) return;
    std::unique_lock lock(writerMutex_);
    writerWake_.wait(lock, [this] { return !toWrite_ && !writing_; });
}

void FileDefaultsStore::load() {
    std::error_code error;
    auto bytes = readFile(path_, error);
    if (!bytes) {
        // No file yet (also when a folder on the way is missing or is a file): simply nothing stored.
        if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory) return;
        fileIsKeptUnread_ = true;
        log("Preferences file " + path_.string() + " could not be read (" + error.message() +
            "); the defaults apply and the file is not written over");
        return;
    }
    auto decoded = decodePlist(*bytes);
    if (decoded.values) {
        values_ = std::make_shared<PlistDictionary>(std::move(*decoded.values));
        return;
    }
    auto aside = moveAside(path_, error);
    if (!aside) {
        fileIsKeptUnread_ = true;
        log("Preferences file " + path_.string() + " is damaged (" + decoded.problem +
            ") and could not be moved aside (" + error.message() +
            "); the defaults apply and the file is not written over");
        return;
    }
    log("Preferences file " + path_.string() + " is damaged (" + decoded.problem + "); moved it aside to " +
        aside->string() + ", the defaults apply");
}

void FileDefaultsStore::log(const std::string& line) const {
    if (log_) log_(line);
}

} // namespace quoddle
