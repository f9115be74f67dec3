#pragma once
// The simulated application services: they record what was asked of them.

#include "platform/AppServices.h"

#include <map>
#include <string>
#include <vector>

namespace quoddle {

class SimAppServices : public AppServices {
public:
    SimAppServices();

    void beep() override { ++beepCount; }
    void log(const std::string& line) override { logLines.push_back(line); }
    void explain(const std::string& line) override { explanations.push_back(line); }
    std::string localizedString(const std::string& key) const override;
    std::optional<std::string> bundlePath() const override { return bundlePathValue; }
    std::string displayNameAtPath(const std::string& path) const override;
    void showAsForegroundApplication() override { isForegroundApplication = true; }
    void activate() override { ++activationCount; }

    int beepCount = 0;
    int activationCount = 0;
    bool isForegroundApplication = false;
    std::vector<std::string> logLines;
    std::vector<std::string> explanations;
    std::map<std::string, std::string> localizations;
    std::optional<std::string> bundlePathValue{"/Applications/Quoddle.app"};
};

} // namespace quoddle
