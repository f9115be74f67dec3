#pragma once
// Desktop services: text services kept as small files, one file a service, that Quoddle offers in the
// Services menu of every application it observes (Linux applications have no Services menu of their own).
//
// A service file uses desktop-entry syntax:
//
//     [Quoddle Service]
//     Name=Make Upper Case
//     Name[de]=In Großbuchstaben
//     Exec=quoddle text upper
//     Output=replace
//
// Exec is split into arguments by the desktop-entry quoting rules and never goes through a shell. Its
// field codes: %s the selected text as one whole argument, %u the text percent-encoded (it may stand
// inside an argument, as in a search URL), %% a percent sign. Without %s or %u the text goes to the
// program's standard input. "quoddle" as the program is this very Quoddle.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quoddle {

// What the service's standard output does.
enum class ServiceOutput {
    none,             // Output=none (the default): the output is dropped
    replaceSelection, // Output=replace: the output replaces the selected text
    copyToClipboard,  // Output=copy: the output goes to the clipboard
    showNotification, // Output=notify: the output is shown in a desktop notification
};

struct DesktopService {
    std::string id;   // the file name without ".service"; a user's file shadows a system one of the same id
    std::string path; // the file it was read from
    std::string name; // the Services item title: Name, in the user's language where the file has one
    std::vector<std::string> exec;    // Exec split into arguments, field codes still in them
    bool selectionAsArgument = false; // Exec holds %s or %u; otherwise the text goes to standard input
    ServiceOutput output = ServiceOutput::none;
    bool acceptsOnlyUrl = false; // Accepts=url: the service runs only on a selection that is one URL
    std::chrono::milliseconds timeLimit{5000}; // TimeLimit= seconds; then the program is killed
};

// The program and its arguments for one selection, field codes expanded; "quoddle" as the program
// becomes selfPath. None, with the reason in *problem, when the text cannot be passed (an argument cannot
// hold a NUL byte).
std::optional<std::vector<std::string>> serviceCommandLine(const DesktopService& service,
                                                           std::string_view selection,
                                                           const std::string& selfPath, std::string* problem);

// Whether the text, blanks around it aside, is one absolute URL (scheme://... or mailto:), as "Open as
// Link" needs.
bool isSingleUrl(std::string_view text);

} // namespace quoddle
