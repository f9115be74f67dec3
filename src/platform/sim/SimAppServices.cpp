#include "platform/sim/SimAppServices.h"

#include "platform/sim/DefaultButtonSetting.h"

namespace quoddle {

SimAppServices::SimAppServices()
    : localizations{{"Services", "Services"},
                    {"Default Button Setting", kSimDefaultButtonSetting},
                    {"Default Blacklist Setting", "Interface Builder\ncom.apple.Preview\n"}} {}

std::string SimAppServices::localizedString(const std::string& key) const {
    auto it = localizations.find(key);
    return it == localizations.end() ? key : it->second;
}

std::string SimAppServices::displayNameAtPath(const std::string& path) const {
    std::string name = path.substr(path.find_last_of('/') + 1);
    if (auto dot = name.rfind(".app"); dot != std::string::npos && dot + 4 == name.size()) name.erase(dot);
    return name;
}

} // namespace quoddle
