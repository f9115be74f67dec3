#include "platform/linux/x11/PrimaryOwnerWatch.h"

#include "platform/linux/x11/X11Handles.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/Xfixes.h>

namespace quoddle {

struct PrimaryOwnerWatch::Connection {
    DisplayHandle display;
    int fixesEventBase = 0;
    bool hasResourceExtension = false;
    std::unique_ptr<QSocketNotifier, void (*)(QSocketNotifier*)> notifier{nullptr, [](QSocketNotifier* n) {
                                                                              n->setEnabled(false);
                                                                              n->deleteLater();
                                                                          }};
};

PrimaryOwnerWatch::PrimaryOwnerWatch(Handler handler, std::string displayName)
    : handler_(std::move(handler)), displayName_(std::move(displayName)) {}

PrimaryOwnerWatch::~PrimaryOwnerWatch() {
    *alive_ = false;
}

bool PrimaryOwnerWatch::start(std::string* reason) {
    auto connection = std::make_unique<Connection>();
    connection->display = openDisplay(displayName_);
    Display* display = connection->display.get();
    if (!display) {
        if (reason) *reason = "cannot open the X display";
        return false;
    }
    int errorBase = 0;
    if (!XFixesQueryExtension(display, &connection->fixesEventBase, &errorBase)) {
        if (reason) *reason = "the X server has no XFixes extension";
        return false;
    }
    int resourceEvents = 0, resourceErrors = 0;
    connection->hasResourceExtension = XResQueryExtension(display, &resourceEvents, &resourceErrors);
    XFixesSelectSelectionInput(display, DefaultRootWindow(display), XA_PRIMARY,
                               XFixesSetSelectionOwnerNotifyMask);
    XFlush(display);
    if (QCoreApplication::instance()) {
        connection->notifier.reset(new QSocketNotifier(ConnectionNumber(display), QSocketNotifier::Read));
        QObject::connect(connection->notifier.get(), &QSocketNotifier::activated, connection->notifier.get(),
                         [this] { processPending(); });
    }
    connection_ = std::move(connection);
    return true;
}

std::optional<ProcessId> PrimaryOwnerWatch::pidOfClientOwning(unsigned long window) {
    if (!connection_->hasResourceExtension || window == None) return std::nullopt;
    XResClientIdSpec query{window, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* values = nullptr;
    X11ErrorTrap trap(connection_->display.get());
    if (XResQueryClientIds(connection_->display.get(), 1, &query, &count, &values) != Success)
        return std::nullopt;
    std::optional<ProcessId> pid;
    for (long i = 0; i < count && !pid; ++i)
        if (XResGetClientIdType(&values[i]) == XRES_CLIENT_ID_PID) {
            const pid_t found = XResGetClientPid(&values[i]);
            if (found > 0) pid = static_cast<ProcessId>(found);
        }
    XResClientIdsDestroy(count, values);
    return pid;
}

void PrimaryOwnerWatch::processPending() {
    if (!connection_) return;
    ensureX11ErrorHandlers();
    std::shared_ptr<bool> alive = alive_;
    Display* display = connection_->display.get();
    while (!displayConnectionBroken(display) && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != connection_->fixesEventBase + XFixesSelectionNotify) continue;
        const auto& notify = reinterpret_cast<const XFixesSelectionNotifyEvent&>(event);
        if (notify.subtype != XFixesSetSelectionOwnerNotify || notify.owner == None) continue;
        if (handler_) handler_(pidOfClientOwning(notify.owner));
        if (!*alive) return;
    }
    if (displayConnectionBroken(display)) connection_.reset();
}

} // namespace quoddle
