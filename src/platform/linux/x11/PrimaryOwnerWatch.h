#pragma once
// Tells, on the Qt main loop, when a client becomes the owner of the X PRIMARY selection (it selected
// text), on a connection of its own. It never takes PRIMARY itself: a GTK text view drops its selection
// when another client does.

#include "platform/Workspace.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quoddle {

class PrimaryOwnerWatch {
public:
    // The process of the new owner (from the X-Resource extension), none when the server cannot tell.
    using Handler = std::function<void(std::optional<ProcessId> ownerPid)>;

    explicit PrimaryOwnerWatch(Handler handler, std::string displayName = {});
    ~PrimaryOwnerWatch();
    PrimaryOwnerWatch(const PrimaryOwnerWatch&) = delete;
    PrimaryOwnerWatch& operator=(const PrimaryOwnerWatch&) = delete;

    // False with the reason when the server lacks the XFixes extension or cannot be reached.
    bool start(std::string* reason = nullptr);
    // Reads the events that have arrived and reports each change of owner.
    void processPending();

private:
    struct Connection;
    std::optional<ProcessId> pidOfClientOwning(unsigned long window);

    Handler handler_;
    std::string displayName_;
    std::unique_ptr<Connection> connection_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace quoddle
