// Process entry: a command on the stored history and preferences, or else the application. This build
// has no desktop backend yet, so the application runs as the demo on the simulated desktop.
#include "cli/CommandLine.h"
#include "cli/Demo.h"

#include <iostream>

int main(int argc, char** argv) {
    int status = quoddle::runCommandLine(argc, argv, std::cout, std::cerr, std::cin);
    if (status != quoddle::kRunApplication) return status;
    std::cout << "No desktop backend in this build: Quoddle runs its typical use on the simulated desktop.\n";
    return quoddle::runDemo(std::cout);
}
