#include "platform/linux/session/XdgAutostartLoginItems.h"

#include "platform/defaults/FileDescriptor.h"
#include "platform/linux/GLibHandles.h"
#include "platform/linux/session/SmallFile.h"

#include "platform/linux/GObjectHandles.h"

#include <glib.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quoddle {

namespace {

constexpr const char* kGroup = "Desktop Entry";
constexpr std::string_view kSuffix = ".desktop";
// No real entry comes near this; anything bigger is not worth parsing at every launch.
constexpr std::size_t kMaxEntryBytes = 64 * 1024;
constexpr int kMaxNameTries = 1000;

// Stable for a path across runs, unlike std::hash: FNV-1a.
std::uint64_t idOfPath(std::string_view path) {
    std::uint64_t hash = 14695981039346656037ull;
    for (char c : path) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

bool isValidUtf8(std::string_view text) {
    // With a length GLib refuses NUL bytes too, which no key file may hold.
    return text.empty() || g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
}

// Each invalid sequence replaced, as a key file's value must be UTF-8.
std::string asUtf8(const std::string& text) {
    if (isValidUtf8(text)) return text;
    return takeGString(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()))).value_or("");
}

// The entry's key file, when it is a readable UTF-8 file with a "Desktop Entry" group.
KeyFile loadEntry(const std::string& path) {
    const std::optional<std::string> data = readSmallFile(path, kMaxEntryBytes).bytes;
    if (!data || !isValidUtf8(*data)) return nullptr;
    KeyFile file(g_key_file_new());
    if (!g_key_file_load_from_data(file.get(), data->data(), data->size(), G_KEY_FILE_NONE, nullptr) ||
        !g_key_file_has_group(file.get(), kGroup))
        return nullptr;
    return file;
}

std::optional<std::string> stringValue(GKeyFile* file, const char* key) {
    return takeGString(g_key_file_get_string(file, kGroup, key, nullptr));
}

// False when the key is missing or not a boolean, as GLib's own readers take it.
bool booleanValue(GKeyFile* file, const char* key) {
    return g_key_file_get_boolean(file, kGroup, key, nullptr);
}

std::optional<std::vector<std::string>> listValue(GKeyFile* file, const char* key) {
    Strv values(g_key_file_get_string_list(file, kGroup, key, nullptr, nullptr));
    if (!values) return std::nullopt;
    std::vector<std::string> result;
    for (char** value = values.get(); *value; ++value)
        result.emplace_back(*value);
    return result;
}

bool contains(const std::vector<std::string>& list, const std::string& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// The first of the current desktops that either list names decides; with none named, only an entry without
// OnlyShowIn is shown.
bool isShownOn(GKeyFile* file, const std::vector<std::string>& desktops) {
    const std::optional<std::vector<std::string>> onlyIn = listValue(file, "OnlyShowIn");
    const std::optional<std::vector<std::string>> notIn = listValue(file, "NotShowIn");
    for (const std::string& desktop : desktops) {
        if (onlyIn && contains(*onlyIn, desktop)) return true;
        if (notIn && contains(*notIn, desktop)) return false;
    }
    return !onlyIn;
}

std::optional<std::string> canonicalPath(const std::string& path) {
    std::error_code error;
    std::filesystem::path canonical = std::filesystem::canonical(path, error);
    if (error) return std::nullopt;
    return canonical.string();
}

// An executable named as Exec or TryExec name it: an absolute path, or a bare name looked up in PATH. A
// relative path with a slash means nothing without a working folder, which the session does not promise.
std::optional<std::string> programPath(const std::string& word) {
    if (word.empty() || (word.find('/') != std::string::npos && word.front() != '/')) return std::nullopt;
    const std::optional<std::string> found = takeGString(g_find_program_in_path(word.c_str()));
    if (!found) return std::nullopt;
    return canonicalPath(*found);
}

// The field codes stand for files, URLs, the icon and the entry, none of which can be the program: they go,
// and "%%" becomes the percent sign it stands for.
std::string withoutFieldCodes(std::string_view exec) {
    std::string result;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        if (exec[i] != '%') {
            result += exec[i];
        } else if (i + 1 < exec.size()) {
            if (exec[++i] == '%') result += '%';
        }
    }
    return result;
}

bool isEnv(std::string_view word) {
    return word == "env" || word.ends_with("/env");
}

bool isAssignment(std::string_view word) {
    const std::size_t equals = word.find('=');
    return equals != std::string_view::npos && equals > 0;
}

// The word of an Exec line that names the program, past an "env NAME=value ..." prefix.
std::optional<std::string> execProgram(const std::string& exec) {
    int count = 0;
    char** words = nullptr;
    if (!g_shell_parse_argv(withoutFieldCodes(exec).c_str(), &count, &words, nullptr)) return std::nullopt;
    Strv owner(words);
    int program = 0;
    if (count > 1 && isEnv(words[0])) {
        program = 1;
        while (program < count && isAssignment(words[program]))
            ++program;
    }
    if (program >= count) return std::nullopt;
    return std::string(words[program]);
}

std::optional<std::string> resolvedProgram(GKeyFile* file) {
    // The session skips an entry whose TryExec is missing, whatever Exec says.
    const std::optional<std::string> tryExec = stringValue(file, "TryExec");
    if (tryExec && !tryExec->empty() && !programPath(*tryExec)) return std::nullopt;
    const std::optional<std::string> exec = stringValue(file, "Exec");
    const std::optional<std::string> program = exec ? execProgram(*exec) : std::nullopt;
    return program ? programPath(*program) : std::nullopt;
}

std::string stemOf(const std::string& name) {
    return name.substr(0, name.size() - kSuffix.size());
}

// The item the session makes of an entry file; none when it starts nothing on these desktops.
std::optional<LoginItem> itemOf(const std::string& path, const std::string& name,
                                const std::vector<std::string>& desktops) {
    const KeyFile file = loadEntry(path);
    // GNOME's own switch for an entry counts as its disabling too: the session would not start it.
    if (!file || stringValue(file.get(), "Type") != "Application" || booleanValue(file.get(), "Hidden") ||
        stringValue(file.get(), "X-GNOME-Autostart-enabled") == "false" || !isShownOn(file.get(), desktops))
        return std::nullopt;
    return LoginItem{idOfPath(path), stringValue(file.get(), "Name").value_or(stemOf(name)),
                     resolvedProgram(file.get())};
}

// A file that only hides the system entry of its name, as remove() writes one: nothing of the user's is
// lost when it goes.
bool isHidingStub(const std::string& path) {
    const KeyFile file = loadEntry(path);
    if (!file) return false;
    gsize groupCount = 0;
    Strv groups(g_key_file_get_groups(file.get(), &groupCount));
    Strv keys(g_key_file_get_keys(file.get(), kGroup, nullptr, nullptr));
    if (groupCount != 1 || !keys) return false;
    for (char** key = keys.get(); *key; ++key) {
        const std::string_view name = *key;
        if (name != "Type" && name != "Name" && name != "Hidden") return false;
    }
    return booleanValue(file.get(), "Hidden");
}

// The sorted names of a folder's entry files: every "*.desktop" that is not a folder. None when the folder
// exists and cannot be read; a missing folder has none.
std::optional<std::vector<std::string>> entryNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator entry(folder, error);
    if (error == std::errc::no_such_file_or_directory) return names;
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        std::string name = entry->path().filename().string();
        std::error_code kindError;
        if (name.size() > kSuffix.size() && name.ends_with(kSuffix) && !entry->is_directory(kindError))
            names.push_back(std::move(name));
    }
    if (error) return std::nullopt;
    std::sort(names.begin(), names.end());
    return names;
}

bool hasName(const std::vector<std::string>& sortedNames, const std::string& name) {
    return std::binary_search(sortedNames.begin(), sortedNames.end(), name);
}

std::string joined(const std::string& folder, const std::string& name) {
    return folder + "/" + name;
}

// A program path as the program word of an Exec line: quoted when it holds a reserved character, with the
// four characters quotes do not protect escaped, and "%" doubled, as field codes want.
std::string execWord(const std::string& path) {
    constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string word;
    const bool quoted = path.find_first_of(reserved) != std::string::npos;
    if (quoted) word += '"';
    for (char c : path) {
        if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\')) word += '\\';
        word += c;
        if (c == '%') word += '%';
    }
    if (quoted) word += '"';
    return word;
}

// An entry's text; the key file escapes each value as the format wants.
std::string entryText(const std::vector<std::pair<const char*, std::string>>& values) {
    KeyFile file(g_key_file_new());
    for (const auto& [key, value] : values)
        g_key_file_set_string(file.get(), kGroup, key, value.c_str());
    return takeGString(g_key_file_to_data(file.get(), nullptr, nullptr)).value_or("");
}

// A written file in the folder under a name no entry has (dot first, no ".desktop"); gone unless placed.
class TemporaryFile {
public:
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }

    static std::unique_ptr<TemporaryFile> write(const std::string& folder, const std::string& stem,
                                                const std::string& text) {
        std::string path = joined(folder, "." + stem + ".XXXXXX");
        FileDescriptor file(::mkostemp(path.data(), O_CLOEXEC));
        if (file.get() < 0) return nullptr;
        std::unique_ptr<TemporaryFile> written(new TemporaryFile(path));
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t wrote = ::write(file.get(), text.data() + done, text.size() - done);
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote <= 0) return nullptr;
            done += static_cast<std::size_t>(wrote);
        }
        if (::fchmod(file.get(), 0644) != 0 || ::fsync(file.get()) != 0 || !file.close()) return nullptr;
        return written;
    }

    enum class Placing { Placed, NameTaken, Failed };
    // Gives the file its name, never replacing one that has it: a hard link cannot.
    Placing placeAs(const std::string& target) {
        if (::link(path_.c_str(), target.c_str()) == 0) return Placing::Placed;
        if (errno == EEXIST) return Placing::NameTaken;
        if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP) return Placing::Failed;
        // A file system without hard links: look, then rename; a file made in between would be lost.
        struct stat info {};
        if (::lstat(target.c_str(), &info) == 0) return Placing::NameTaken;
        if (errno != ENOENT || ::rename(path_.c_str(), target.c_str()) != 0) return Placing::Failed;
        path_.clear();
        return Placing::Placed;
    }

private:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

bool makeFolder(const std::string& folder) {
    return !folder.empty() && g_mkdir_with_parents(folder.c_str(), 0700) == 0;
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::vector<std::string> splitAt(const char* text, char separator) {
    std::vector<std::string> parts;
    if (!text) return parts;
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find(separator), rest.size());
        if (end > 0) parts.emplace_back(rest.substr(0, end));
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return parts;
}

} // namespace

XdgAutostartSetup xdgAutostartSetupFor(const char* configHome, const char* configDirs,
                                       const char* currentDesktop, const std::string& home) {
    XdgAutostartSetup setup;
    const std::string userConfig = configHome && configHome[0] == '/'
                                       ? std::string(configHome)
                                       : withoutTrailingSlashes(home) + "/.config";
    setup.userFolder = withoutTrailingSlashes(userConfig) + "/autostart";
    std::vector<std::string> systemConfigs = splitAt(configDirs, ':');
    if (systemConfigs.empty()) systemConfigs.push_back("/etc/xdg");
    for (const std::string& config : systemConfigs)
        if (config.front() == '/')
            setup.systemFolders.push_back(withoutTrailingSlashes(config) + "/autostart");
    setup.currentDesktops = splitAt(currentDesktop, ':');
    return setup;
}

XdgAutostartLoginItems XdgAutostartLoginItems::forThisSession(std::string desktopFileId,
                                                              std::string iconName) {
    XdgAutostartSetup setup =
        xdgAutostartSetupFor(std::getenv("XDG_CONFIG_HOME"), std::getenv("XDG_CONFIG_DIRS"),
                             std::getenv("XDG_CURRENT_DESKTOP"), g_get_home_dir());
    setup.desktopFileId = std::move(desktopFileId);
    setup.iconName = std::move(iconName);
    return XdgAutostartLoginItems(std::move(setup));
}

std::optional<std::vector<XdgAutostartLoginItems::Folder>> XdgAutostartLoginItems::folders() const {
    std::optional<std::vector<std::string>> userNames = entryNames(setup_.userFolder);
    if (!userNames) return std::nullopt;
    std::vector<Folder> result{{setup_.userFolder, std::move(*userNames)}};
    // A system folder that cannot be read starts nothing the session could start either.
    for (const std::string& folder : setup_.systemFolders)
        result.push_back({folder, entryNames(folder).value_or(std::vector<std::string>{})});
    return result;
}

std::vector<XdgAutostartLoginItems::EntryFile>
XdgAutostartLoginItems::effectiveFiles(const std::vector<Folder>& folders) {
    std::vector<EntryFile> files;
    for (std::size_t index = 0; index < folders.size(); ++index) {
        for (const std::string& name : folders[index].names) {
            const auto shadows = [&](const Folder& earlier) { return hasName(earlier.names, name); };
            if (std::any_of(folders.begin(), folders.begin() + static_cast<std::ptrdiff_t>(index), shadows))
                continue;
            files.push_back({joined(folders[index].path, name), name, index == 0});
        }
    }
    return files;
}

std::optional<std::vector<LoginItem>> XdgAutostartLoginItems::snapshot() const {
    const std::optional<std::vector<Folder>> found = folders();
    if (!found) return std::nullopt;
    std::vector<LoginItem> items;
    for (const EntryFile& file : effectiveFiles(*found))
        if (std::optional<LoginItem> item = itemOf(file.path, file.name, setup_.currentDesktops))
            items.push_back(std::move(*item));
    return items;
}

bool XdgAutostartLoginItems::showSystemEntryAgain(const std::vector<Folder>& folders,
                                                  const std::string& path) {
    const std::string wanted = canonicalPath(path).value_or(path);
    for (const std::string& name : folders.front().names) {
        const std::string stub = joined(folders.front().path, name);
        const auto holdsName = [&](const Folder& folder) { return hasName(folder.names, name); };
        const auto hidden = std::find_if(folders.begin() + 1, folders.end(), holdsName);
        if (hidden == folders.end() || !isHidingStub(stub)) continue;
        const std::optional<LoginItem> item =
            itemOf(joined(hidden->path, name), name, setup_.currentDesktops);
        if (item && item->resolvedPath == wanted) return ::unlink(stub.c_str()) == 0;
    }
    return false;
}

bool XdgAutostartLoginItems::insertAtFront(const std::string& path, const std::string& displayName) {
    // An Exec line is UTF-8: a path that is not could be written but never found again.
    if (path.empty() || path.front() != '/' || !isValidUtf8(path) || setup_.desktopFileId.empty())
        return false;
    const std::optional<std::vector<Folder>> found = folders();
    if (!found) return false;
    if (showSystemEntryAgain(*found, path)) return true;

    std::string name = asUtf8(displayName);
    if (name.empty()) name = std::filesystem::path(path).filename().string();
    const std::string text = entryText({{"Type", "Application"},
                                        {"Name", name},
                                        {"Comment", "Text services one click from a text selection"},
                                        {"Exec", execWord(path)},
                                        {"Icon", setup_.iconName},
                                        {"Terminal", "false"},
                                        {"X-GNOME-Autostart-enabled", "true"}});
    if (!makeFolder(setup_.userFolder)) return false;
    const std::unique_ptr<TemporaryFile> written =
        TemporaryFile::write(setup_.userFolder, setup_.desktopFileId, text);
    if (!written) return false;
    for (int attempt = 1; attempt <= kMaxNameTries; ++attempt) {
        const std::string fileName =
            setup_.desktopFileId + (attempt == 1 ? "" : "-" + std::to_string(attempt)) + std::string(kSuffix);
        // A user file of a system entry's name would hide that entry, which may start another copy.
        const auto holdsName = [&](const Folder& folder) { return hasName(folder.names, fileName); };
        if (std::any_of(found->begin(), found->end(), holdsName)) continue;
        switch (written->placeAs(joined(setup_.userFolder, fileName))) {
        case TemporaryFile::Placing::Placed:
            return true;
        case TemporaryFile::Placing::NameTaken:
            continue;
        case TemporaryFile::Placing::Failed:
            return false;
        }
    }
    return false;
}

bool XdgAutostartLoginItems::remove(std::uint64_t itemId) {
    const std::optional<std::vector<Folder>> found = folders();
    if (!found) return false;
    // The file the snapshot showed, if it is still there and still an entry the session starts.
    for (const EntryFile& file : effectiveFiles(*found)) {
        if (idOfPath(file.path) != itemId) continue;
        const std::optional<LoginItem> item = itemOf(file.path, file.name, setup_.currentDesktops);
        if (!item) return false;
        if (file.isUsers) return ::unlink(file.path.c_str()) == 0;
        // A package's file is not the user's to change: a user file of its name hides it.
        const std::string text =
            entryText({{"Type", "Application"}, {"Name", item->displayName}, {"Hidden", "true"}});
        if (!makeFolder(setup_.userFolder)) return false;
        const std::unique_ptr<TemporaryFile> written =
            TemporaryFile::write(setup_.userFolder, stemOf(file.name), text);
        return written &&
               written->placeAs(joined(setup_.userFolder, file.name)) == TemporaryFile::Placing::Placed;
    }
    return false;
}

} // namespace quoddle
