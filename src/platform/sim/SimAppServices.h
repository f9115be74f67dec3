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
    std::string localizedString(const std::string& key) const override;
    std::optional<std::string> bundlePath() const override { return bundlePathValue; }
    std::string displayNameAtPath(const std::string& path) const override;
    void transformToForegroundApplication() override { isForegroundApplication = true; }
    void activateIgnoringOtherApps() override { ++activationCount; }
    int runModalAlert(const std::string& messageText, const std::string& informativeText,
                      int alertStyle) override;

    int beepCount = 0;
    int activationCount = 0;
    bool isForegroundApplication = false;
    std::vector<std::string> logLines;
    std::map<std::string, std::string> localizations;
    std::optional<std::string> bundlePathValue{"/Applications/Quoddle.app"};
    int alertAnswer = 1000; // the first (OK) button
    std::vector<std::string> alertsShown;
};

} // namespace quoddle
