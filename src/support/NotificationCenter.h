#pragma once
// A notification centre: observers by name (and optionally by sender); posting delivers synchronously to
// every matching observer in registration order.

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace quoddle {

struct Notification {
    std::string name;
    const void* object = nullptr;
    std::map<std::string, std::any> userInfo;
};

class NotificationCenter {
public:
    using ObserverId = std::uint64_t;
    using Handler = std::function<void(const Notification&)>;

    // An empty name observes every notification; a null object observes every sender.
    ObserverId addObserver(std::string name, const void* object, Handler handler);
    void removeObserver(ObserverId observer);
    void postNotification(const Notification& notification);
    void postNotificationName(const std::string& name, const void* object,
                              std::map<std::string, std::any> userInfo = {});

private:
    struct Registration {
        ObserverId id;
        std::string name;
        const void* object;
        Handler handler;
    };
    std::vector<Registration> registrations_;
    ObserverId nextId_ = 1;
};

} // namespace quoddle
