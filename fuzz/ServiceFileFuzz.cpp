// Service files are written by hand, and any file in the user's folder is read: read whatever comes, and
// build the command line of whatever is accepted with a selection made to look like shell syntax. What the
// reader accepts must expand without fail and put the selection in byte for byte.
#include "platform/linux/services/DesktopService.h"
#include "platform/linux/services/ServiceFile.h"

#include <glib.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace quoddle;

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "ServiceFileFuzz: %s\n", what);
    std::abort();
}

bool isPrintableLine(const std::string& text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    }
    return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
}

// The argument as it must come out, worked out apart from the code under test: %% a percent sign, %u the
// text as GLib escapes it for a URL, a whole %s the text itself. Sets textGoesIn for %s and %u.
std::string expectedArgument(const std::string& argument, const std::string& text, bool& textGoesIn) {
    if (argument == "%s") {
        textGoesIn = true;
        return text;
    }
    std::string result;
    for (std::size_t i = 0; i < argument.size(); ++i) {
        if (argument[i] != '%' || i + 1 == argument.size()) {
            result += argument[i];
        } else if (argument[++i] == 'u') {
            char* escaped = g_uri_escape_string(text.c_str(), nullptr, false);
            result += escaped;
            g_free(escaped);
            textGoesIn = true;
        } else {
            result += argument[i];
        }
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string kHostile = "\"'$(touch x); `id` \\ %s %u %% \n\t*?~";
    static const std::string kSelf = "/opt/quoddle/bin/quoddle";

    const std::string contents(reinterpret_cast<const char*>(data), size);
    const ServiceFileReading reading = parseServiceFile(contents, "/fuzz/input.service", "de_DE.UTF-8");
    for (const std::string& problem : reading.problems)
        check(!problem.empty() && isPrintableLine(problem), "a problem that is no printable line");
    isSingleUrl(contents);

    if (!reading.service) {
        check(!reading.problems.empty() || reading.hidden, "no service, yet neither a problem nor hidden");
        return 0;
    }
    check(reading.problems.empty() && !reading.hidden, "a service from a file with problems or hidden");
    const DesktopService& service = *reading.service;
    check(service.id == "input" && service.path == "/fuzz/input.service", "the wrong id or path");
    check(!service.name.empty() && isPrintableLine(service.name), "a title the settings text cannot carry");
    check(service.name.front() != ' ' && service.name.back() != ' ', "an untrimmed title");
    check(service.timeLimit >= std::chrono::seconds(1) && service.timeLimit <= std::chrono::seconds(600),
          "a time limit out of range");

    std::string problem;
    const auto commandLine = serviceCommandLine(service, kHostile, kSelf, &problem);
    check(commandLine.has_value(), "an accepted service whose command line cannot be built");
    check(commandLine->size() == service.exec.size(), "expansion changed the number of arguments");
    bool textGoesIn = false;
    for (std::size_t i = 0; i < service.exec.size(); ++i) {
        const std::string expected = i == 0 && service.exec[0] == "quoddle"
                                         ? kSelf
                                         : expectedArgument(service.exec[i], kHostile, textGoesIn);
        check((*commandLine)[i] == expected, "an argument is not what Exec and the selection make it");
        check(i != 0 || !textGoesIn, "the selection went into the program name");
    }
    check(textGoesIn == service.selectionAsArgument, "selectionAsArgument disagrees with Exec");

    // A NUL byte cannot be an argument; refused exactly when the selection is one whole argument.
    bool wholeArgument = false;
    for (const std::string& argument : service.exec)
        wholeArgument = wholeArgument || argument == "%s";
    const auto withNul = serviceCommandLine(service, std::string("a\0b", 3), kSelf, &problem);
    check(withNul.has_value() != wholeArgument, "a NUL byte refused or let through wrongly");
    return 0;
}
