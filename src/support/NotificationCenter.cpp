#include "support/NotificationCenter.h"

#include <algorithm>

namespace quoddle {

NotificationCenter::ObserverId NotificationCenter::addObserver(std::string name, const void* object,
                                                               Handler handler) {
    ObserverId id = nextId_++;
    registrations_.push_back({id, std::move(name), object, std::move(handler)});
    return id;
}

void NotificationCenter::removeObserver(ObserverId observer) {
    std::erase_if(registrations_, [observer](const Registration& r) { return r.id == observer; });
}

void NotificationCenter::postNotification(const Notification& notification) {
    // Observers may add or remove registrations while being called: deliver to a snapshot of the ids.
    std::vector<ObserverId> targets;
    for (const Registration& r : registrations_) {
        bool nameMatches = r.name.empty() || r.name == notification.name;
        bool objectMatches = r.object == nullptr || r.object == notification.object;
        if (nameMatches && objectMatches) targets.push_back(r.id);
    }
    for (ObserverId id : targets) {
        auto it = std::find_if(registrations_.begin(), registrations_.end(),
                               [id](const Registration& r) { return r.id == id; });
        if (it == registrations_.end()) continue;
        Handler handler = it->handler; // the registration may go away during the call
        handler(notification);
    }
}

void NotificationCenter::postNotificationName(const std::string& name, const void* object,
                                              std::map<std::string, std::any> userInfo) {
    postNotification(Notification{name, object, std::move(userInfo)});
}

} // namespace quoddle
