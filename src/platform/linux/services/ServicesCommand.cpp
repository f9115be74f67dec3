#include "platform/linux/services/ServicesCommand.h"

#include "platform/linux/services/ServiceCatalog.h"
#include "platform/linux/services/ServiceFile.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <ostream>
#include <sys/stat.h>

namespace quoddle {

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsageError = 2;

constexpr const char* kUsageLine = "Usage: quoddle services [--check FILE | --help]\n";
constexpr const char* kHelp =
    "Usage: quoddle services [--check FILE | --help]\n"
    "Lists the desktop services: text services, one file each, that Quoddle offers in the\n"
    "Services menu of every application. One line a service, tab-separated: its name, what\n"
    "becomes of its output (replace, copy, notify or none) and its file. Then the files\n"
    "skipped, and the folders searched, in order: a file hides one of the same name in the\n"
    "folders after it, and a file with Hidden=true only hides. A service whose TryExec\n"
    "program is not installed is not listed.\n"
    "\n"
    "  --check FILE   read FILE as a service file: what is wrong with it, or what it does;\n"
    "                 exits with 1 when it has problems\n"
    "  --help         print this help\n";

const char* outputWord(ServiceOutput output) {
    switch (output) {
    case ServiceOutput::none:
        return "none";
    case ServiceOutput::replaceSelection:
        return "replace";
    case ServiceOutput::copyToClipboard:
        return "copy";
    case ServiceOutput::showNotification:
        return "notify";
    }
    return "none";
}

const char* outputMeaning(ServiceOutput output) {
    switch (output) {
    case ServiceOutput::none:
        return "none (the output is dropped)";
    case ServiceOutput::replaceSelection:
        return "replace (the output replaces the selected text)";
    case ServiceOutput::copyToClipboard:
        return "copy (the output goes to the clipboard)";
    case ServiceOutput::showNotification:
        return "notify (the output is shown in a notification)";
    }
    return "none";
}

int usageError(const std::string& problem, std::ostream& err) {
    err << "quoddle: " << problem << '\n' << kUsageLine;
    return kUsageError;
}

int listServices(const std::vector<std::string>& directories, std::ostream& out) {
    std::vector<std::string> notes;
    ServiceCatalog catalog(directories, [&notes](const std::string& line) { notes.push_back(line); });
    for (const DesktopService& service : catalog.services())
        out << service.name << '\t' << outputWord(service.output) << '\t' << service.path << '\n';
    for (const std::string& note : notes)
        out << note << '\n';
    for (std::size_t i = 0; i < directories.size(); ++i) {
        struct stat status {};
        const bool there = ::stat(directories[i].c_str(), &status) == 0 && S_ISDIR(status.st_mode);
        out << "searched: " << directories[i];
        if (i == 0)
            out << (there ? " (yours)" : " (yours, not there yet)");
        else if (!there)
            out << " (not there)";
        out << '\n';
    }
    return kSuccess;
}

int checkFile(const std::string& file, std::ostream& out) {
    const ServiceFileReading reading = readServiceFile(file);
    if (!reading.problems.empty()) {
        for (const std::string& problem : reading.problems)
            out << file << ": " << problem << '\n';
        return kFailure;
    }
    out << file << ": ok\n";
    if (!file.ends_with(".service")) out << "  note: Quoddle reads only files whose names end in .service\n";
    if (reading.hidden) {
        out << "  Hidden=true: the file hides the service of the same file name in the folders after its "
               "own\n";
        return kSuccess;
    }
    if (!reading.service) return kSuccess;
    const DesktopService& service = *reading.service;
    out << "  name: " << service.name << '\n'
        << "  text: " << (service.selectionAsArgument ? "as an argument" : "on standard input") << '\n'
        << "  output: " << outputMeaning(service.output) << '\n'
        << "  time limit: " << std::chrono::duration_cast<std::chrono::seconds>(service.timeLimit).count()
        << " s\n"
        << "  accepts: " << (service.acceptsOnlyUrl ? "a single URL only" : "any text") << '\n';
    if (reading.unavailable)
        out << "  TryExec program " << reading.tryExec
            << " is not installed: the service will not be listed\n";
    return kSuccess;
}

} // namespace

int runServicesCommand(const std::vector<std::string>& arguments, const std::vector<std::string>& directories,
                       std::ostream& out, std::ostream& err) {
    if (arguments.empty()) return listServices(directories, out);
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        out << kHelp;
        return kSuccess;
    }
    if (arguments[0] == "--check") {
        if (arguments.size() == 1) return usageError("'services --check' needs a FILE", err);
        if (arguments.size() == 2) return checkFile(arguments[1], out);
    }
    std::string given;
    for (const std::string& argument : arguments)
        given += (given.empty() ? "" : " ") + argument;
    return usageError("unknown arguments to 'services': " + given, err);
}

} // namespace quoddle
