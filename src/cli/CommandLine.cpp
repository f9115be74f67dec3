#include "cli/CommandLine.h"
#include "cli/TextCommand.h"

#include "Preferences.h"
#include "history/SettingsText.h"
#include "support/UserDefaults.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>

namespace quoddle {

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsageError = 2;

constexpr const char* kUsage =
    "Usage: quoddle [--verbose | COMMAND]\n"
    "Without a command, runs the application (it needs an X11 session); with\n"
    "--verbose it also logs why a selection opened no palette (never the text).\n"
    "\n"
    "Commands:\n"
    "  history export        print the stored service history as settings text\n"
    "  history import FILE   replace the stored history by the settings text in FILE\n"
    "                        (- reads standard input); exits with 1 when the text\n"
    "                        holds no item line and nothing was changed\n"
    "  defaults              print the effective preferences, one per line\n"
    "  demo                  run the typical use, step by step, on a simulated desktop\n"
    "  services [--check FILE]  list the desktop services, or check one service file\n"
    "  text upper            print standard input in upper case\n"
    "  text lower            print standard input in lower case\n"
    "  text sort             print the lines of standard input in sorted order\n"
    "  text count            print the number of words, characters and lines of\n"
    "                        standard input\n"
    "  --help                print this help\n"
    "  --version             print the version\n"
    "\n"
    "The preferences file is $XDG_CONFIG_HOME/quoddle/preferences.plist (else under\n"
    "~/.config). While Quoddle runs, history export and import go to the running\n"
    "Quoddle, which applies an import as its settings window would.\n"
    "\n"
    "The text commands read UTF-8 text of at most 16 MiB and follow the locale of\n"
    "LC_ALL or LANG for case, sorting and word boundaries.\n";

// The history as the application would load it; parts of the wrong shape are skipped with a message.
ServiceHistory storedHistory(const UserDefaults& defaults, std::ostream& err) {
    const PlistValue* stored = defaults.objectForKey(preference::history);
    if (!stored) return ServiceHistory();
    return ServiceHistory::fromPlist(*stored, [&err](const std::string& problem) {
        err << "quoddle: skipped part of the stored service history: " << problem << '\n';
    });
}

UserDefaults openDefaults(CommandLineContext& context) {
    UserDefaults defaults(context.openStore());
    defaults.registerDefaults(preference::registeredDefaults(context.appServices));
    return defaults;
}

int exportHistory(CommandLineContext& context) {
    UserDefaults defaults = openDefaults(context);
    context.out << settingTextOfHistory(storedHistory(defaults, context.err));
    return kSuccess;
}

std::optional<std::string> readAll(std::istream& stream) {
    std::string text{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    if (stream.bad()) return std::nullopt;
    return text;
}

int importHistory(const std::string& source, CommandLineContext& context) {
    std::optional<std::string> text;
    errno = 0;
    if (source == "-") {
        text = readAll(context.in);
    } else if (std::error_code ignored; std::filesystem::is_directory(source, ignored)) {
        errno = EISDIR;
    } else if (std::ifstream file(source, std::ios::binary); file) {
        text = readAll(file);
    }
    if (!text) {
        context.err << "quoddle: cannot read " << (source == "-" ? "standard input" : "'" + source + "'");
        if (errno != 0) context.err << ": " << std::strerror(errno);
        context.err << '\n';
        return kFailure;
    }
    // A byte-order mark is the file's, not the text's: left on, it would become part of the first key.
    if (text->starts_with("\xEF\xBB\xBF")) text->erase(0, 3);

    UserDefaults defaults = openDefaults(context);
    ParsedSettingText parsed =
        historyOfSettingText(*text, storedHistory(defaults, context.err), context.clock.now());
    if (parsed.acceptedLines == 0) {
        context.out << kNoMenuItemResult << '\n';
        return kFailure;
    }
    defaults.setObject(preference::history, parsed.history.toPlist());
    if (!defaults.synchronize()) {
        context.err << "quoddle: the history could not be written to the preferences file\n";
        return kFailure;
    }
    context.out << kApplySettingTextResult << '\n';
    return kSuccess;
}

// One line per value: strings quoted with their line breaks, tabs and other controls escaped.
std::string quoted(const std::string& text) {
    std::string result = "\"";
    for (char c : text) {
        switch (c) {
        case '"':
            result += "\\\"";
            break;
        case '\\':
            result += "\\\\";
            break;
        case '\n':
            result += "\\n";
            break;
        case '\r':
            result += "\\r";
            break;
        case '\t':
            result += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                static const char* hex = "0123456789ABCDEF";
                (result += "\\x") += hex[(c >> 4) & 0xF];
                result += hex[c & 0xF];
            } else {
                result += c;
            }
        }
    }
    return result + '"';
}

std::string isoDate(PlistDate date) {
    using namespace std::chrono;
    const auto millisecondsSinceEpoch = floor<milliseconds>(date);
    const auto day = floor<days>(millisecondsSinceEpoch);
    const year_month_day ymd{day};
    const hh_mm_ss time{millisecondsSinceEpoch - day};
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
    return buffer;
}

std::string describe(const PlistValue& value) {
    struct Describe {
        std::string operator()(const std::string& text) const { return quoted(text); }
        std::string operator()(std::int64_t number) const { return std::to_string(number); }
        std::string operator()(double number) const {
            char buffer[32];
            auto end = std::to_chars(buffer, buffer + sizeof buffer, number).ptr;
            return std::string(buffer, end);
        }
        std::string operator()(bool flag) const { return flag ? "true" : "false"; }
        std::string operator()(PlistDate date) const { return isoDate(date); }
        std::string operator()(const PlistData& data) const {
            return "<" + std::to_string(data.size()) + " bytes>";
        }
        std::string operator()(const PlistArray& array) const {
            return "(array of " + std::to_string(array.size()) + " values)";
        }
        std::string operator()(const PlistDictionary& dictionary) const {
            return "(dictionary of " + std::to_string(dictionary.size()) + " entries)";
        }
    };
    return std::visit(Describe{}, value.storage());
}

int printDefaults(CommandLineContext& context) {
    UserDefaults defaults = openDefaults(context);
    PlistDictionary keys = defaults.registeredDefaults();
    for (const auto& [key, value] : context.openStore().all())
        keys.insert_or_assign(key, value);
    for (const auto& [key, ignored] : keys) {
        context.out << key << " = ";
        if (key == preference::history) {
            // The history is summarized: as many applications and items as the application would load.
            ServiceHistory history = storedHistory(defaults, context.err);
            std::size_t items = 0;
            for (const auto& [application, table] : history.tables())
                items += table.size();
            context.out << history.size() << " applications, " << items << " items\n";
        } else {
            context.out << describe(*defaults.objectForKey(key)) << '\n';
        }
    }
    return kSuccess;
}

int usageError(const std::string& problem, std::ostream& err) {
    err << "quoddle: " << problem << "\nTry 'quoddle --help'.\n";
    return kUsageError;
}

int dispatch(const std::vector<std::string>& arguments, CommandLineContext& context) {
    const std::size_t count = arguments.size();
    const std::string& command = arguments[0];
    if ((command == "--help" || command == "-h") && count == 1) {
        context.out << kUsage;
        return kSuccess;
    }
    if (command == "--version" && count == 1) {
        context.out << "quoddle " << QUODDLE_VERSION << '\n';
        return kSuccess;
    }
    if (command == "defaults" && count == 1) return printDefaults(context);
    if (command == "demo" && count == 1) return kRunDemo;
    if (command == "history") {
        if (count == 2 && arguments[1] == "export") return exportHistory(context);
        if (count == 3 && arguments[1] == "import") return importHistory(arguments[2], context);
        return usageError("'history' takes 'export' or 'import FILE' ('-' for standard input)", context.err);
    }
    if (command == "text") {
        const auto operation = count == 2 ? textOperationNamed(arguments[1]) : std::nullopt;
        if (operation) return runTextCommand(*operation, context.in, context.out, context.err);
        return usageError("'text' takes 'upper', 'lower', 'sort' or 'count' and reads standard input",
                          context.err);
    }
    std::string given;
    for (const std::string& argument : arguments)
        given += (given.empty() ? "" : " ") + quoted(argument);
    return usageError("unknown arguments: " + given, context.err);
}

class SystemClock : public Clock {
public:
    // Milliseconds are what the preferences file keeps of a date.
    TimePoint now() const override {
        return std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
    }
};

} // namespace

int runCommandLine(const std::vector<std::string>& arguments, CommandLineContext& context) {
    if (arguments.empty() || arguments == std::vector<std::string>{"--verbose"}) return kRunApplication;
    try {
        return dispatch(arguments, context);
    } catch (const std::exception& error) {
        context.err << "quoddle: " << error.what() << '\n';
        return kFailure;
    }
}

int runCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err, std::istream& in,
                   const CommandLineHost& host) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (host.backendCommand && !arguments.empty())
        if (std::optional<int> status = host.backendCommand(arguments, out, err, in)) return *status;
    std::unique_ptr<DefaultsStore> store;
    SystemClock clock;
    CommandLineContext context{out,
                               err,
                               in,
                               [&]() -> DefaultsStore& {
                                   if (!store)
                                       store = host.openPreferences(
                                           [&err](const std::string& line) { err << line << '\n'; });
                                   return *store;
                               },
                               clock,
                               host.productStrings};
    return runCommandLine(arguments, context);
}

} // namespace quoddle
