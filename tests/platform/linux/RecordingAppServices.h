#pragma once
// The application services of a backend test: no desktop, and what Quoddle tells the user (a beep, a log
// line, the verbose log's word on why) recorded for the test to read.

#include "platform/linux/session/LinuxLocalization.h"

#include <string>
#include <vector>

namespace quoddle {

class RecordingAppServices : public LinuxLocalizedAppServices {
public:
    void beep() override { ++beeps; }
    void log(const std::string& line) override { logLines.push_back(line); }
    void explain(const std::string& line) override { explained.push_back(line); }

    int beeps = 0;
    std::vector<std::string> logLines;
    std::vector<std::string> explained;
};

} // namespace quoddle
