#include "platform/linux/services/DesktopServices.h"

#include <cctype>

namespace quoddle {

namespace {

std::string withoutTrailingBlanks(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    return text;
}

} // namespace

DesktopServices::DesktopServices(ServiceCatalog& catalog, ServiceOutputs& outputs, AppServices& appServices,
                                 ReadSelection readSelection, ActiveProcess activeProcess,
                                 std::string selfPath)
    : catalog_(catalog), outputs_(outputs), appServices_(appServices),
      readSelection_(std::move(readSelection)), activeProcess_(std::move(activeProcess)),
      selfPath_(std::move(selfPath)) {}

std::vector<std::string> DesktopServices::names() {
    std::vector<std::string> names;
    for (const DesktopService& service : catalog_.services())
        names.push_back(service.name);
    return names;
}

void DesktopServices::refuse(const DesktopService& service, const std::string& why) {
    appServices_.beep();
    appServices_.log("desktop service " + service.id + " not run: " + why);
}

ax::Error DesktopServices::press(ProcessId pid, const std::string& name) {
    const DesktopService* found = catalog_.serviceNamed(name);
    if (!found) return ax::Error::cannotComplete;
    // A copy: the catalog may read its folders again before the program ends.
    const DesktopService service = *found;
    std::optional<Selection> selection = readSelection_(pid);
    if (!selection || selection->text.empty()) {
        refuse(service, "no selected text could be read");
        return ax::Error::success;
    }
    if (service.acceptsOnlyUrl && !isSingleUrl(selection->text)) {
        refuse(service, "the selection is not one link");
        return ax::Error::success;
    }
    if (service.output == ServiceOutput::replaceSelection && !selection->editable) {
        refuse(service, "the selected text cannot be edited");
        return ax::Error::success;
    }
    std::string problem;
    std::optional<std::vector<std::string>> commandLine =
        serviceCommandLine(service, selection->text, selfPath_, &problem);
    if (!commandLine) {
        refuse(service, problem);
        return ax::Error::success;
    }
    const bool endsWithBreak = selection->text.back() == '\n';
    // The text travels on standard input only when the arguments do not carry it.
    std::string input = service.selectionAsArgument ? std::string() : std::move(selection->text);
    const bool started = runner_.start(*commandLine, std::move(input), service.timeLimit,
                                       [this, service, pid, endsWithBreak](ServiceRunResult result) {
                                           finished(service, pid, result, endsWithBreak);
                                       });
    if (!started) refuse(service, "too many desktop services are still running");
    return ax::Error::success;
}

void DesktopServices::finished(const DesktopService& service, ProcessId pid, const ServiceRunResult& result,
                               bool selectionEndsWithBreak) {
    auto fail = [&](const std::string& why) {
        appServices_.beep();
        appServices_.log("desktop service " + service.id + " failed: " + why);
    };
    if (!result.succeeded()) return fail(result.description());
    if (service.output == ServiceOutput::none) return;
    // Nothing to show or to put anywhere; above all, an empty output must not delete the selection.
    if (result.output.empty()) return fail("it gave no output");
    switch (service.output) {
    case ServiceOutput::none:
        return;
    case ServiceOutput::replaceSelection:
        // The paste goes to the focused window: never into another application than the selection's.
        if (activeProcess_ && activeProcess_() != pid) return fail("its application is no longer active");
        if (!outputs_.replaceSelection(pid, replacementOf(result.output, selectionEndsWithBreak)))
            return fail("its application did not take the replacement");
        return;
    case ServiceOutput::copyToClipboard:
        outputs_.copyToClipboard(replacementOf(result.output, selectionEndsWithBreak));
        return;
    case ServiceOutput::showNotification:
        outputs_.showNotification(service.name, withoutTrailingBlanks(result.output),
                                  [this, id = service.id](const std::string& why) {
                                      appServices_.beep();
                                      appServices_.log("desktop service " + id +
                                                       ": the notification could not be shown: " + why);
                                  });
        return;
    }
}

std::string replacementOf(std::string output, bool selectionEndsWithBreak) {
    if (selectionEndsWithBreak || output.empty() || output.back() != '\n') return output;
    output.pop_back();
    if (!output.empty() && output.back() == '\r') output.pop_back();
    return output;
}

} // namespace quoddle
