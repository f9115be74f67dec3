// Process entry: a command on the stored history and preferences, the demo on the simulated desktop, or the
// application on the real desktop when this build has a desktop backend and an X11 session is reachable.
#include "cli/CommandLine.h"
#include "cli/Demo.h"

#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#ifdef QUODDLE_HAS_LINUX_BACKEND
#include "platform/linux/LinuxMain.h"
#include "platform/linux/services/ServicesCommand.h"
#else
#include "platform/sim/SimAppServices.h"
#endif

int main(int argc, char** argv) {
#ifdef QUODDLE_HAS_LINUX_BACKEND
    if (argc >= 2 && std::string_view(argv[1]) == "services")
        return quoddle::runServicesCommand(argc, argv, std::cout, std::cerr);
    if (argc >= 2 && std::string_view(argv[1]) == "history") {
        // A running Quoddle holds the current history and would save over one imported into the file.
        const std::vector<std::string> arguments(argv + 1, argv + argc);
        if (std::optional<int> status =
                quoddle::runHistoryCommandOnRunningInstance(arguments, std::cout, std::cerr, std::cin))
            return *status;
    }
    const quoddle::AppServices& productStrings = quoddle::linuxProductStrings();
#else
    const quoddle::SimAppServices productStrings;
#endif
    int status = quoddle::runCommandLine(argc, argv, std::cout, std::cerr, std::cin, productStrings);
    if (status == quoddle::kRunDemo) return quoddle::runDemo(std::cout);
    if (status != quoddle::kRunApplication) return status;
#ifdef QUODDLE_HAS_LINUX_BACKEND
    return quoddle::runLinuxDesktopApplication(argc, argv);
#else
    std::cerr
        << "quoddle: this build has no desktop backend; 'quoddle demo' runs the simulated walkthrough.\n";
    return 1;
#endif
}
