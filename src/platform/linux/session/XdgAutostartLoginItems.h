#pragma once
// The session's login items on the Linux desktop: XDG autostart entries, the user's own folder first, then
// the system's folders, which Quoddle only reads (it disables a system entry with a user file of the same
// name that says Hidden=true).

#include "platform/LoginItems.h"

#include <string>
#include <utility>
#include <vector>

namespace quoddle {

struct XdgAutostartSetup {
    std::string userFolder;                 // $XDG_CONFIG_HOME/autostart; new entries go here
    std::vector<std::string> systemFolders; // each $XDG_CONFIG_DIRS entry + /autostart, most important first
    std::vector<std::string> currentDesktops; // $XDG_CURRENT_DESKTOP, for OnlyShowIn and NotShowIn
    std::string desktopFileId;                // the file name of a new entry, less ".desktop"
    std::string iconName;                     // its Icon=
};

// The folders and desktops of a session with these values of XDG_CONFIG_HOME, XDG_CONFIG_DIRS and
// XDG_CURRENT_DESKTOP (null when unset) and this home folder; unset, empty and relative paths take the
// defaults (~/.config, /etc/xdg). The entry's id and icon are left empty.
XdgAutostartSetup xdgAutostartSetupFor(const char* configHome, const char* configDirs,
                                       const char* currentDesktop, const std::string& home);

class XdgAutostartLoginItems : public LoginItems {
public:
    explicit XdgAutostartLoginItems(XdgAutostartSetup setup) : setup_(std::move(setup)) {}
    // For the running session's environment.
    static XdgAutostartLoginItems forThisSession(std::string desktopFileId, std::string iconName);

    // The entries the session starts here, the user's by file name, then each system folder's; a file name
    // seen in an earlier folder hides the later files of that name. Entries that are hidden, not for this
    // desktop, not applications or not readable are left out; those whose program cannot be found have no
    // resolved path. An item's id stands for its file, the same in every snapshot. None when the user's
    // folder exists but cannot be read.
    std::optional<std::vector<LoginItem>> snapshot() const override;
    // Autostart entries have no order, so this only adds a user entry, under a file name no folder uses. When
    // a system entry for the path is hidden only by a user file that says nothing but Hidden=true, it removes
    // that file instead.
    bool insertAtFront(const std::string& path, const std::string& displayName) override;
    // Deletes a user entry; hides a system entry with a user file of its name.
    bool remove(std::uint64_t itemId) override;

    const XdgAutostartSetup& setup() const { return setup_; }

private:
    struct Folder {
        std::string path;
        std::vector<std::string> names; // of the entry files, sorted
    };
    struct EntryFile {
        std::string path;
        std::string name;
        bool isUsers;
    };
    // Every folder with its entry files, the user's first; none when the user's folder cannot be read.
    std::optional<std::vector<Folder>> folders() const;
    static std::vector<EntryFile> effectiveFiles(const std::vector<Folder>& folders);
    bool showSystemEntryAgain(const std::vector<Folder>& folders, const std::string& path);

    XdgAutostartSetup setup_;
};

} // namespace quoddle
