#pragma once
// The command line: the stored service history as settings text, and the effective preferences, read and
// changed in the same preferences file as the application uses, without starting it.

#include "platform/AppServices.h"
#include "platform/Clock.h"
#include "platform/DefaultsStore.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quoddle {

// What runCommandLine returns for a start without arguments (run the application) and for "demo" (run the
// typical use on the simulated desktop).
inline constexpr int kRunApplication = -1;
inline constexpr int kRunDemo = -2;

// What the program around the command line gives it: the preferences file, the backend's string table, and
// the commands only a backend carries out (its desktop services, history commands for a running instance).
struct CommandLineHost {
    // Opens the preferences file at its default path; the store's log lines go to the function given.
    std::function<std::unique_ptr<DefaultsStore>(std::function<void(const std::string&)> log)>
        openPreferences;
    const AppServices& productStrings;
    // The exit status of a command the backend carried out; none when it has no command for the arguments.
    std::function<std::optional<int>(const std::vector<std::string>& arguments, std::ostream& out,
                                     std::ostream& err, std::istream& in)>
        backendCommand;
};

// Runs the command given by the arguments, with the preferences opened only when the command needs them.
// Returns the exit status (0 success, 1 failure, 2 usage error), kRunApplication or kRunDemo.
int runCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err, std::istream& in,
                   const CommandLineHost& host);

struct CommandLineContext {
    std::ostream& out;
    std::ostream& err;
    std::istream& in; // read by "history import -"
    // Opens the preferences once, when a command first needs them; log lines of the store go to `err`.
    std::function<DefaultsStore&()> openStore;
    const Clock& clock;             // the Date of items new to the history
    const AppServices& appServices; // localized registered defaults
};

// The same with the arguments after the program name and the services given.
int runCommandLine(const std::vector<std::string>& arguments, CommandLineContext& context);

} // namespace quoddle
