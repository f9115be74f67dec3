#pragma once
// A stand-in for the desktop's notification server (org.freedesktop.Notifications on the session bus),
// which records what it is asked to show. It serves from a thread and a main context of its own, on a
// connection of its own, so it answers whoever iterates (or does not iterate) the default main context:
// a Qt test program as well as a plain one.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quoddle::desktop {

class NotificationServer {
public:
    struct Notification {
        std::uint32_t id = 0;
        std::string appName;
        std::uint32_t replacesId = 0;
        std::string appIcon;
        std::string summary;
        std::string body;
        std::vector<std::string> actions;
        std::int32_t expireTimeout = 0;
    };

    // Connects and asks for the name; waitUntilOwned() tells when the bus gave it.
    NotificationServer();
    // Gives the name back and leaves the bus before returning: the next server, or none, is what the
    // next client finds.
    ~NotificationServer();
    NotificationServer(const NotificationServer&) = delete;
    NotificationServer& operator=(const NotificationServer&) = delete;

    // True once the server owns the name; false at the timeout, or at once when there is no bus.
    bool waitUntilOwned(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // The next notification not yet returned by this call, waiting for it at most the timeout.
    std::optional<Notification>
    waitForNotification(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Every notification so far, in order.
    std::vector<Notification> received() const;
    // Why the server could not serve (no session bus, ...), empty while all is well.
    std::string problem() const;

    struct Shared; // the state the server's thread and the test share

private:
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

} // namespace quoddle::desktop
