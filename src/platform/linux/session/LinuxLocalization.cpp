#include "platform/linux/session/LinuxLocalization.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>

namespace quoddle {

std::string linuxLocalizedString(const std::string& key) {
    static const std::map<std::string, std::string> table{
        {"Services", "Services"},
        {"Default Button Setting", kLinuxDefaultButtonSetting},
        // No application is left alone out of the box on Linux; the user's list starts empty.
        {"Default Blacklist Setting", ""},
        {"\"Enable access for assistive devices\" is ON.", "Accessibility is on for this session"},
    };
    auto it = table.find(key);
    return it == table.end() ? key : it->second;
}

std::string logLineOf(const std::string& line) {
    std::string out = "quoddle: ";
    out.reserve(out.size() + line.size() + 1);
    for (char c : line) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    out += '\n';
    return out;
}

void LinuxLocalizedAppServices::log(const std::string& line) {
    // One write, so lines from elsewhere in the process never land inside it.
    const std::string text = logLineOf(line);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

std::optional<std::string> LinuxLocalizedAppServices::bundlePath() const {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || path.empty()) return std::nullopt;
    return path.string();
}

std::string LinuxLocalizedAppServices::displayNameAtPath(const std::string& path) const {
    std::filesystem::path p(path);
    // "/usr/bin/" names the folder, as "/usr/bin" does.
    if (!p.has_filename() && p.has_parent_path() && p != p.root_path()) p = p.parent_path();
    return p.filename().string();
}

int LinuxLocalizedAppServices::runModalAlert(const std::string& messageText,
                                             const std::string& informativeText, int) {
    log("alert without a display: " + messageText + " " + informativeText);
    return kAlertSecondButtonReturn;
}

} // namespace quoddle
