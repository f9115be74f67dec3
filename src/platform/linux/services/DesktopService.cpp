#include "platform/linux/services/DesktopService.h"

#include <algorithm>
#include <string>

namespace quoddle {

namespace {

// Linux refuses to start a program with one argument longer than this (MAX_ARG_STRLEN less the NUL).
constexpr std::size_t kMaxArgumentBytes = 32 * 4096 - 1;

bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// Every byte but the unreserved ones of RFC 3986 as %XX, so the text can stand in any part of a URL.
std::string percentEncoded(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string result;
    result.reserve(text.size() * 3);
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (isUnreserved(byte)) {
            result += c;
        } else {
            result += '%';
            result += hex[byte >> 4];
            result += hex[byte & 0xF];
        }
    }
    return result;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isSchemeCharacter(char c) {
    return isAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

} // namespace

std::optional<std::vector<std::string>> serviceCommandLine(const DesktopService& service,
                                                           std::string_view selection,
                                                           const std::string& selfPath,
                                                           std::string* problem) {
    const auto fail = [problem](std::string reason) -> std::optional<std::vector<std::string>> {
        if (problem) *problem = std::move(reason);
        return std::nullopt;
    };
    if (service.exec.empty()) return fail("Exec is empty");

    // The reader has refused malformed Exec lines already; a service built by hand gets the same answer
    // here rather than a command line that means something else.
    std::vector<std::string> commandLine;
    commandLine.reserve(service.exec.size());
    int textCodes = 0;
    for (const std::string& argument : service.exec) {
        const int textCodesBefore = textCodes;
        std::string expanded;
        if (argument == "%s") {
            if (selection.find('\0') != std::string_view::npos)
                return fail("the selection holds a NUL byte, which an argument cannot carry");
            ++textCodes;
            expanded = selection;
        } else {
            for (std::size_t i = 0; i < argument.size(); ++i) {
                if (argument[i] != '%') {
                    expanded += argument[i];
                    continue;
                }
                if (i + 1 == argument.size()) return fail("Exec: an argument ends in a lone %");
                const char code = argument[++i];
                if (code == '%') {
                    expanded += '%';
                } else if (code == 'u') {
                    ++textCodes;
                    expanded += percentEncoded(selection);
                } else if (code == 's') {
                    return fail("Exec: %s must stand alone as an argument");
                } else {
                    return fail("Exec: a % not followed by s, u or % (write %% for a percent sign)");
                }
            }
        }
        // The text never chooses the program.
        if (commandLine.empty() && textCodes > 0) return fail("Exec: the program cannot be %s or %u");
        if (textCodes > textCodesBefore && expanded.size() > kMaxArgumentBytes)
            return fail("the selection is too long to pass as an argument (" +
                        std::to_string(expanded.size()) + " bytes, at most " +
                        std::to_string(kMaxArgumentBytes) + ")");
        commandLine.push_back(std::move(expanded));
    }
    if (textCodes > 1) return fail("Exec: holds more than one %s or %u");
    if (commandLine.front() == "quoddle" && !selfPath.empty()) commandLine.front() = selfPath;
    return commandLine;
}

bool isSingleUrl(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    if (text.empty() || std::any_of(text.begin(), text.end(), [](char c) {
            return isBlank(c) || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        }))
        return false;

    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || !isAsciiLetter(text.front())) return false;
    const std::string_view scheme = text.substr(0, colon);
    if (!std::all_of(scheme.begin(), scheme.end(), isSchemeCharacter)) return false;
    const std::string_view rest = text.substr(colon + 1);
    if (equalsIgnoringAsciiCase(scheme, "mailto")) return rest.find('@') != std::string_view::npos;
    return rest.size() > 2 && rest.starts_with("//");
}

} // namespace quoddle
