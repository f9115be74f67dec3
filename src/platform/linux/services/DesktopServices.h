#pragma once
// Pressing a desktop service: the selected text is read at that moment, handed to the service's program
// and forgotten; the program's output then goes where the service says.

#include "platform/Accessibility.h"
#include "platform/AppServices.h"
#include "platform/linux/services/ServiceCatalog.h"
#include "platform/linux/services/ServiceOutputs.h"
#include "platform/linux/services/ServiceRunner.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quoddle {

class DesktopServices {
public:
    struct Selection {
        std::string text;
        bool editable = false; // whether a replacement may be pasted over it
    };
    // The text selected in the application of the process, read now; none when nothing can be read.
    using ReadSelection = std::function<std::optional<Selection>(ProcessId)>;
    // The process of the active application, if any: a paste goes to whatever has the keyboard focus.
    using ActiveProcess = std::function<std::optional<ProcessId>()>;

    DesktopServices(ServiceCatalog& catalog, ServiceOutputs& outputs, AppServices& appServices,
                    ReadSelection readSelection, ActiveProcess activeProcess, std::string selfPath);

    // The names of the services, in the Services menu's order.
    std::vector<std::string> names();
    // Starts the service of that name on the application's selection. Problems found before the program
    // runs (no such service, nothing selected, not a link, read-only text) beep and log; the press itself
    // succeeds once the program has started, and what it does later is reported by a beep and a log line.
    ax::Error press(ProcessId pid, const std::string& name);

private:
    void finished(const DesktopService& service, ProcessId pid, const ServiceRunResult& result,
                  bool selectionEndsWithBreak);
    void refuse(const DesktopService& service, const std::string& why);

    ServiceCatalog& catalog_;
    ServiceOutputs& outputs_;
    AppServices& appServices_;
    ReadSelection readSelection_;
    ActiveProcess activeProcess_;
    std::string selfPath_;
    ServiceRunner runner_;
};

// What replaces the selection: the output, less the one line break a line-oriented program adds at the end
// when the selection had none there.
std::string replacementOf(std::string output, bool selectionEndsWithBreak);

} // namespace quoddle
