#include "platform/linux/services/ServiceCatalog.h"

#include "platform/linux/GLibHandles.h"

#include "platform/linux/services/ServiceFile.h"

#include <glib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <sys/stat.h>

namespace quoddle {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSuffix = ".service";
constexpr std::size_t kMaxFilesPerDirectory = 256;
// Timestamps come from a clock that ticks in milliseconds or coarser (seconds on some file systems): a
// change in the same tick as a read would leave the stamp as it was.
constexpr time_t kRecentSeconds = 2;

std::string normalised(const fs::path& path) {
    std::string text = path.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

bool isAbsolute(const char* path) {
    return path && path[0] == '/';
}

// Case does not order titles; the title itself, then the id, settle the rest so the order is stable.
struct SortKey {
    std::string folded;
    const DesktopService* service;
};

std::string folded(const std::string& name) {
    GMemory<char> text(g_utf8_casefold(name.c_str(), -1));
    return text ? std::string(text.get()) : name;
}

} // namespace

std::vector<std::string> serviceDirectories(const std::string& selfPath) {
    std::vector<std::string> directories;
    const auto add = [&directories](const fs::path& base) {
        std::string directory = normalised(base / "quoddle" / "services");
        if (std::find(directories.begin(), directories.end(), directory) == directories.end())
            directories.push_back(std::move(directory));
    };

    if (const char* dataHome = std::getenv("XDG_DATA_HOME"); isAbsolute(dataHome)) {
        add(dataHome);
    } else {
        const char* home = std::getenv("HOME");
        // Without HOME the password database says where home is.
        add(fs::path(isAbsolute(home) ? home : g_get_home_dir()) / ".local" / "share");
    }

    const char* dataDirs = std::getenv("XDG_DATA_DIRS");
    const std::string_view list = dataDirs && *dataDirs ? dataDirs : "/usr/local/share/:/usr/share/";
    for (std::size_t start = 0; start <= list.size();) {
        std::size_t end = list.find(':', start);
        if (end == std::string_view::npos) end = list.size();
        const std::string entry(list.substr(start, end - start));
        if (isAbsolute(entry.c_str())) add(entry);
        start = end + 1;
    }

    if (!selfPath.empty() && selfPath.front() == '/') add(fs::path(selfPath).parent_path() / ".." / "share");
    return directories;
}

bool ServiceCatalog::Stamp::operator==(const Stamp& other) const {
    return exists == other.exists && device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

ServiceCatalog::Stamp ServiceCatalog::stampOf(const std::string& path) {
    struct stat status {};
    Stamp stamp;
    if (::stat(path.c_str(), &status) != 0) return stamp;
    stamp.exists = true;
    stamp.device = status.st_dev;
    stamp.inode = status.st_ino;
    stamp.size = status.st_size;
    stamp.modified = status.st_mtim;
    return stamp;
}

ServiceCatalog::ServiceCatalog(std::vector<std::string> directories, Log log)
    : directories_(std::move(directories)), log_(std::move(log)) {}

const std::vector<DesktopService>& ServiceCatalog::services() {
    if (changedSinceLastRead()) read();
    return services_;
}

const DesktopService* ServiceCatalog::serviceNamed(const std::string& name) {
    for (const DesktopService& service : services()) {
        if (service.name == name) return &service;
    }
    return nullptr;
}

bool ServiceCatalog::changedSinceLastRead() const {
    if (!read_ || recent_) return true;
    for (std::size_t i = 0; i < directories_.size(); ++i) {
        if (!(stampOf(directories_[i]) == directoryStamps_[i])) return true;
    }
    // An edit in place leaves the folder's time as it was.
    for (const auto& [path, stamp] : fileStamps_) {
        if (!(stampOf(path) == stamp)) return true;
    }
    return false;
}

void ServiceCatalog::logOnce(const std::string& key, const std::string& version, const std::string& line) {
    const auto found = logged_.find(key);
    if (found == logged_.end() || found->second != version) {
        if (log_) log_(line);
    }
    stillLogged_[key] = version;
}

std::string ServiceCatalog::Stamp::version() const {
    return std::to_string(device) + ':' + std::to_string(inode) + ':' + std::to_string(size) + ':' +
           std::to_string(modified.tv_sec) + '.' + std::to_string(modified.tv_nsec);
}

std::vector<std::string> ServiceCatalog::serviceFileNames(const std::string& directory, const Stamp& stamp) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator entry(directory, error), end; !error && entry != end;
         entry.increment(error)) {
        std::string name = entry->path().filename().string();
        // Dot files are editors' locks and backups, not services.
        if (name.size() > kSuffix.size() && name.ends_with(kSuffix) && name.front() != '.')
            names.push_back(std::move(name));
    }
    if (error) {
        logOnce(directory + "\nunreadable", stamp.version(),
                "desktop service folder " + directory + " cannot be read: " + error.message());
    }
    std::sort(names.begin(), names.end());
    if (names.size() > kMaxFilesPerDirectory) {
        logOnce(directory + "\ncrowded", stamp.version(),
                "desktop service folder " + directory + " holds " + std::to_string(names.size()) +
                    " service files: only the first " + std::to_string(kMaxFilesPerDirectory) +
                    " by name are read");
        names.resize(kMaxFilesPerDirectory);
    }
    return names;
}

void ServiceCatalog::offer(const std::vector<DesktopService>& found) {
    std::vector<SortKey> keys;
    keys.reserve(found.size());
    for (const DesktopService& service : found)
        keys.push_back({folded(service.name), &service});
    std::sort(keys.begin(), keys.end(), [](const SortKey& a, const SortKey& b) {
        if (a.folded != b.folded) return a.folded < b.folded;
        if (a.service->name != b.service->name) return a.service->name < b.service->name;
        return a.service->id < b.service->id;
    });

    services_.clear();
    for (const SortKey& key : keys) {
        const DesktopService& service = *key.service;
        const auto same =
            std::find_if(services_.begin(), services_.end(),
                         [&service](const DesktopService& kept) { return kept.name == service.name; });
        if (same == services_.end()) {
            services_.push_back(service);
            continue;
        }
        logOnce(same->path + '\n' + service.path,
                fileStamps_[same->path].version() + '/' + fileStamps_[service.path].version(),
                "desktop services " + same->path + " and " + service.path + " have the same name \"" +
                    service.name + "\": only the first is offered");
    }
}

void ServiceCatalog::read() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const auto noteRecent = [this, &now](const Stamp& stamp) {
        if (stamp.exists && stamp.modified.tv_sec >= now.tv_sec - kRecentSeconds) recent_ = true;
    };

    read_ = true;
    recent_ = false;
    directoryStamps_.clear();
    fileStamps_.clear();
    stillLogged_.clear();
    std::vector<DesktopService> found;
    std::set<std::string> decided; // ids a folder earlier in the order has settled

    for (const std::string& directory : directories_) {
        const Stamp directoryStamp = stampOf(directory);
        directoryStamps_.push_back(directoryStamp);
        noteRecent(directoryStamp);
        if (!directoryStamp.exists) continue;

        for (const std::string& name : serviceFileNames(directory, directoryStamp)) {
            // The first folder with the file decides, even when its file is hidden, unavailable or bad.
            if (!decided.insert(name.substr(0, name.size() - kSuffix.size())).second) continue;
            const std::string path = (fs::path(directory) / name).string();
            // Stamped before reading: a change during the read shows as a change next time.
            const Stamp stamp = stampOf(path);
            fileStamps_[path] = stamp;
            noteRecent(stamp);
            ServiceFileReading reading = readServiceFile(path);
            if (!reading.problems.empty()) {
                logOnce(path, stamp.version(),
                        "desktop service file " + path + " skipped: " + reading.problems.front());
                continue;
            }
            if (reading.hidden || reading.unavailable || !reading.service) continue;
            found.push_back(std::move(*reading.service));
        }
    }
    offer(found);
    logged_ = std::move(stillLogged_);
    stillLogged_.clear();
}

} // namespace quoddle
