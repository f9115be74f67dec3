#pragma once
// The desktop services found on this system: the user's folder first, then the system's.

#include "platform/linux/services/DesktopService.h"

#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quoddle {

// $XDG_DATA_HOME/quoddle/services (else ~/.local/share/...), then quoddle/services below every folder of
// $XDG_DATA_DIRS (else /usr/local/share:/usr/share), then the share folder beside the program's own
// prefix (<program dir>/../share/quoddle/services), for a copy installed elsewhere or run from its build
// folder. Each folder once, in that order; the first is always the user's.
std::vector<std::string> serviceDirectories(const std::string& selfPath);

class ServiceCatalog {
public:
    using Log = std::function<void(const std::string&)>;
    ServiceCatalog(std::vector<std::string> directories, Log log);

    // The usable services in a stable order (by name, then id). The folders are read again when any of
    // them has changed since the last look, so a file the user adds counts without a restart. A malformed
    // file is skipped with one log line naming it (once per change of the file).
    const std::vector<DesktopService>& services();
    const DesktopService* serviceNamed(const std::string& name);
    const std::vector<std::string>& directories() const { return directories_; }

private:
    // What stat says of a folder or file; a difference means it has changed.
    struct Stamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        bool operator==(const Stamp& other) const;
        std::string version() const; // names this state of the file in the log's memory
    };
    static Stamp stampOf(const std::string& path);

    bool changedSinceLastRead() const;
    void read();
    // The service files of one folder, by name, at most as many as are read of one folder.
    std::vector<std::string> serviceFileNames(const std::string& directory, const Stamp& stamp);
    // Services in title order, each title once: the palette and the settings text know a service by its
    // title alone.
    void offer(const std::vector<DesktopService>& found);
    // Logs the line unless it was logged for the same version of what it is about; notes it as still logged.
    void logOnce(const std::string& key, const std::string& version, const std::string& line);

    std::vector<std::string> directories_;
    Log log_;
    bool read_ = false;
    // A stamp from the last few seconds may hide a change made in the same clock tick: while one is that
    // young, every call reads the folders again.
    bool recent_ = false;
    std::vector<Stamp> directoryStamps_;
    std::map<std::string, Stamp> fileStamps_; // the files read last time
    std::vector<DesktopService> services_;
    // What was logged, by what it was about, with the version of the files it named: a line is logged
    // again only when they change.
    std::map<std::string, std::string> logged_;
    std::map<std::string, std::string> stillLogged_; // what this read has logged or would have
};

} // namespace quoddle
