// Process entry: a command on the stored history and preferences, the demo on the simulated desktop, or the
// application on the real desktop when this build has a desktop backend.
#include "cli/CommandLine.h"
#include "cli/Demo.h"
#include "platform/defaults/FileDefaultsStore.h"

#include <iostream>

#ifdef QUODDLE_HAS_LINUX_BACKEND
#include "platform/linux/LinuxMain.h"
#else
#include "platform/sim/SimAppServices.h"
#endif

int main(int argc, char** argv) {
#ifdef QUODDLE_HAS_LINUX_BACKEND
    const quoddle::AppServices& productStrings = quoddle::linuxProductStrings();
    const auto backendCommand = &quoddle::runLinuxCommand;
#else
    const quoddle::SimAppServices productStrings;
    const std::nullptr_t backendCommand = nullptr;
#endif
    const quoddle::CommandLineHost host{
        [](std::function<void(const std::string&)> log) -> std::unique_ptr<quoddle::DefaultsStore> {
            return std::make_unique<quoddle::FileDefaultsStore>(std::move(log));
        },
        productStrings, backendCommand};
    const int status = quoddle::runCommandLine(argc, argv, std::cout, std::cerr, std::cin, host);
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
