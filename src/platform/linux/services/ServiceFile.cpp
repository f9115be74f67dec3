#include "platform/linux/services/ServiceFile.h"

#include "platform/linux/GLibHandles.h"
#include "platform/linux/session/SmallFile.h"

#include <glib.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace quoddle {

namespace {

constexpr const char* kGroup = "Quoddle Service";
constexpr int kMaxTimeLimitSeconds = 600;
// GLib quotes the offending line in its messages; a whole 64 KiB line is no help in a log.
constexpr std::size_t kMaxProblemBytes = 200;

// A problem as one printable line: no control characters, cut at a character boundary.
std::string problemLine(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    if (text.size() > kMaxProblemBytes) {
        std::size_t end = kMaxProblemBytes;
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;
        text.resize(end);
        text += "…";
    }
    return text;
}

std::string trimmed(std::string_view text) {
    const char* blanks = " \t\n\r\f\v";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(blanks) - first + 1));
}

std::string serviceId(const std::string& path) {
    std::string name = std::filesystem::path(path).filename().string();
    if (name.ends_with(".service")) name.resize(name.size() - std::strlen(".service"));
    return name;
}

// The 1-based line of a byte offset, for problems GLib cannot name.
std::size_t lineOf(std::string_view contents, std::size_t offset) {
    return 1 + static_cast<std::size_t>(std::count(contents.begin(), contents.begin() + offset, '\n'));
}

class Reader {
public:
    Reader(GKeyFile* file, ServiceFileReading& reading) : file_(file), reading_(reading) {}

    void problem(std::string text) {
        text = problemLine(std::move(text));
        std::vector<std::string>& problems = reading_.problems;
        if (std::find(problems.begin(), problems.end(), text) == problems.end())
            problems.push_back(std::move(text));
    }

    bool has(const char* key) const { return g_key_file_has_key(file_, kGroup, key, nullptr); }

    // The value with the key-file escapes undone; none, with a problem, when GLib refuses it.
    std::optional<std::string> string(const char* key) {
        GError* error = nullptr;
        GMemory<char> value(g_key_file_get_string(file_, kGroup, key, &error));
        if (!value) {
            problem(std::string(key) + ": " + (error ? error->message : "cannot be read"));
            g_clear_error(&error);
            return std::nullopt;
        }
        return std::string(value.get());
    }

    // A value from a fixed set, blanks around it ignored; none (with a problem) for anything else.
    std::optional<std::string> choice(const char* key, std::initializer_list<const char*> allowed) {
        std::optional<std::string> value = string(key);
        if (!value) return std::nullopt;
        const std::string word = trimmed(*value);
        std::string list;
        for (const char* each : allowed) {
            if (word == each) return word;
            list += list.empty() ? "" : ", ";
            list += each;
        }
        problem(std::string(key) + ": '" + word + "' is not one of " + list);
        return std::nullopt;
    }

    GKeyFile* file() const { return file_; }

private:
    GKeyFile* file_;
    ServiceFileReading& reading_;
};

// Every title the file gives, the translations too: a bad one would only show in some languages.
void checkTitles(Reader& reader) {
    if (!reader.has("Name")) {
        reader.problem("Name is missing");
        return;
    }
    Strv keys(g_key_file_get_keys(reader.file(), kGroup, nullptr, nullptr));
    for (char** key = keys.get(); key && *key; ++key) {
        const std::string_view name(*key);
        if (name != "Name" && !(name.starts_with("Name[") && name.ends_with("]"))) continue;
        const std::optional<std::string> title = reader.string(*key);
        if (!title) continue;
        const std::string clean = trimmed(*title);
        if (clean.empty()) {
            reader.problem(std::string(name) + " is empty");
        } else if (clean.find_first_of("\t\r\n") != std::string::npos) {
            // Titles are stored in tab-separated settings text, one item a line.
            reader.problem(std::string(name) + ": a title cannot hold a tab or line break");
        } else if (std::any_of(clean.begin(), clean.end(),
                               [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
            reader.problem(std::string(name) + ": a title cannot hold control characters");
        }
    }
}

// The field codes of one argument, split already; counts %s and %u into textCodes.
void checkFieldCodes(Reader& reader, const std::string& argument, bool isProgram, int& textCodes) {
    if (argument == "%s") {
        if (isProgram) reader.problem("Exec: the program cannot be %s or %u");
        ++textCodes;
        return;
    }
    for (std::size_t i = 0; i < argument.size(); ++i) {
        if (argument[i] != '%') continue;
        if (i + 1 == argument.size()) {
            reader.problem("Exec: an argument ends in a lone % (write %% for a percent sign)");
            return;
        }
        const char code = argument[++i];
        if (code == '%') continue;
        if (code == 'u') {
            if (isProgram) reader.problem("Exec: the program cannot be %s or %u");
            ++textCodes;
        } else if (code == 's') {
            reader.problem("Exec: %s must stand alone as an argument");
        } else {
            // Name the whole character, not the first byte of it.
            std::size_t end = i + 1;
            while (end < argument.size() && (static_cast<unsigned char>(argument[end]) & 0xC0) == 0x80)
                ++end;
            reader.problem("Exec: %" + argument.substr(i, end - i) + " is not a field code of service files");
        }
    }
}

void readExec(Reader& reader, DesktopService& service) {
    if (!reader.has("Exec")) {
        reader.problem("Exec is missing");
        return;
    }
    const std::optional<std::string> exec = reader.string("Exec");
    if (!exec) return;
    if (trimmed(*exec).empty()) {
        reader.problem("Exec is empty");
        return;
    }
    int argc = 0;
    char** argv = nullptr;
    GError* error = nullptr;
    if (!g_shell_parse_argv(exec->c_str(), &argc, &argv, &error)) {
        // GLib names the quoting mistake; an Exec of only a "#" comment comes here as well.
        reader.problem(std::string("Exec: ") + (error ? error->message : "cannot be split into arguments"));
        g_clear_error(&error);
        return;
    }
    Strv owned(argv);
    service.exec.assign(argv, argv + argc);

    int textCodes = 0;
    for (std::size_t i = 0; i < service.exec.size(); ++i)
        checkFieldCodes(reader, service.exec[i], i == 0, textCodes);
    if (textCodes > 1) reader.problem("Exec: holds more than one %s or %u; the text goes in once");
    service.selectionAsArgument = textCodes > 0;
}

std::optional<std::chrono::milliseconds> readTimeLimit(Reader& reader) {
    const std::optional<std::string> value = reader.string("TimeLimit");
    if (!value) return std::nullopt;
    const std::string text = trimmed(*value);
    int seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || seconds < 1 ||
        seconds > kMaxTimeLimitSeconds) {
        reader.problem("TimeLimit: '" + text + "' is not a whole number of seconds from 1 to " +
                       std::to_string(kMaxTimeLimitSeconds));
        return std::nullopt;
    }
    return std::chrono::seconds(seconds);
}

// Whether TryExec's program is installed: a name looked up in PATH, or an absolute path.
bool tryExecFound(Reader& reader, const std::string& program) {
    if (program.empty()) {
        reader.problem("TryExec is empty");
        return true;
    }
    if (program.front() != '/' && program.find('/') != std::string::npos) {
        // Relative to which folder? Quoddle's own working folder means nothing to the file's author.
        reader.problem("TryExec: '" + program + "' is neither a program name nor an absolute path");
        return true;
    }
    GMemory<char> found(g_find_program_in_path(program.c_str()));
    return found != nullptr;
}

ServiceFileReading tooLarge() {
    ServiceFileReading reading;
    reading.problems.push_back("the file is larger than " + std::to_string(kMaxServiceFileBytes / 1024) +
                               " KiB");
    return reading;
}

} // namespace

ServiceFileReading parseServiceFile(std::string_view contents, const std::string& path,
                                    const std::string& locale) {
    if (contents.size() > kMaxServiceFileBytes) return tooLarge();
    ServiceFileReading reading;
    // A byte-order mark belongs to the file, not to its first group line.
    if (contents.starts_with("\xEF\xBB\xBF")) contents.remove_prefix(3);
    // GLib checks the encoding of the values it is asked for only, and cuts a line at a NUL byte: the
    // whole file is checked here so that nothing in it goes unread.
    const char* invalid = nullptr;
    if (!g_utf8_validate(contents.data(), static_cast<gssize>(contents.size()), &invalid)) {
        const std::size_t offset = static_cast<std::size_t>(invalid - contents.data());
        reading.problems.push_back("line " + std::to_string(lineOf(contents, offset)) +
                                   (contents[offset] == '\0' ? " holds a NUL byte" : " is not UTF-8 text"));
        return reading;
    }

    KeyFile file(g_key_file_new());
    GError* error = nullptr;
    // All translations are kept: GLib would otherwise keep only those of the languages of the moment.
    if (!g_key_file_load_from_data(file.get(), contents.data(), contents.size(), G_KEY_FILE_KEEP_TRANSLATIONS,
                                   &error)) {
        reading.problems.push_back(problemLine(error ? error->message : "not a key file"));
        g_clear_error(&error);
        return reading;
    }
    if (!g_key_file_has_group(file.get(), kGroup)) {
        reading.problems.push_back(std::string("the file has no [") + kGroup + "] group");
        return reading;
    }

    Reader reader(file.get(), reading);
    if (reader.has("Hidden")) {
        error = nullptr;
        const gboolean hidden = g_key_file_get_boolean(file.get(), kGroup, "Hidden", &error);
        if (error) {
            reader.problem("Hidden: must be true or false");
            g_clear_error(&error);
        } else if (hidden) {
            // A hidden file only removes a service; whatever else it says does not matter.
            reading.hidden = true;
            return reading;
        }
    }

    DesktopService service;
    service.id = serviceId(path);
    service.path = path;

    checkTitles(reader);
    if (reader.has("Name")) {
        GMemory<char> title(g_key_file_get_locale_string(file.get(), kGroup, "Name",
                                                         locale.empty() ? nullptr : locale.c_str(), nullptr));
        if (title) service.name = trimmed(title.get());
    }

    readExec(reader, service);

    if (reader.has("Output")) {
        if (const auto output = reader.choice("Output", {"none", "replace", "copy", "notify"})) {
            if (*output == "replace") service.output = ServiceOutput::replaceSelection;
            if (*output == "copy") service.output = ServiceOutput::copyToClipboard;
            if (*output == "notify") service.output = ServiceOutput::showNotification;
        }
    }
    if (reader.has("Accepts")) {
        if (const auto accepts = reader.choice("Accepts", {"text", "url"}))
            service.acceptsOnlyUrl = *accepts == "url";
    }
    if (reader.has("TimeLimit")) {
        if (const auto limit = readTimeLimit(reader)) service.timeLimit = *limit;
    }
    if (reader.has("TryExec")) {
        if (const auto program = reader.string("TryExec")) {
            reading.tryExec = trimmed(*program);
            reading.unavailable = !tryExecFound(reader, reading.tryExec);
        }
    }

    if (reading.problems.empty()) reading.service = std::move(service);
    return reading;
}

ServiceFileReading readServiceFile(const std::string& path) {
    const auto cannotRead = [](const std::string& why) {
        ServiceFileReading reading;
        reading.problems.push_back("cannot be read: " + why);
        return reading;
    };
    SmallFileReading file = readSmallFile(path, kMaxServiceFileBytes);
    if (file.tooLarge) return tooLarge();
    if (!file.bytes) return cannotRead(file.problem);
    const std::string& contents = *file.bytes;
    return parseServiceFile(contents, path);
}

} // namespace quoddle
