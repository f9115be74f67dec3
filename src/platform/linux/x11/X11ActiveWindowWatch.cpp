#include "platform/linux/x11/X11ActiveWindowWatch.h"

#include "platform/linux/x11/X11Handles.h"
#include "platform/linux/x11/X11Windows.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <X11/Xlib.h>

namespace quoddle {

struct X11ActiveWindowWatch::Connection {
    DisplayHandle display;
    Atom activeWindowAtom = None;
    // Deleted later: stop() may run inside the notifier's own signal (from the handler).
    std::unique_ptr<QSocketNotifier, void (*)(QSocketNotifier*)> notifier{nullptr, [](QSocketNotifier* n) {
                                                                              n->setEnabled(false);
                                                                              n->deleteLater();
                                                                          }};
};

X11ActiveWindowWatch::X11ActiveWindowWatch(Handler handler, std::string displayName)
    : handler_(std::move(handler)), displayName_(std::move(displayName)) {}

X11ActiveWindowWatch::~X11ActiveWindowWatch() {
    *alive_ = false;
    stop();
}

bool X11ActiveWindowWatch::start(std::string* reason) {
    if (connection_) return true;
    auto connection = std::make_unique<Connection>();
    connection->display = openDisplay(displayName_);
    if (!connection->display) {
        if (reason) *reason = "cannot open the X display";
        return false;
    }
    Display* display = connection->display.get();
    connection->activeWindowAtom = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    // Only this connection's interest in the root changes; other clients' masks are their own.
    XSelectInput(display, DefaultRootWindow(display), PropertyChangeMask);
    if (QCoreApplication::instance()) {
        connection->notifier.reset(new QSocketNotifier(ConnectionNumber(display), QSocketNotifier::Read));
        QObject::connect(connection->notifier.get(), &QSocketNotifier::activated, connection->notifier.get(),
                         [this] { processPending(); });
    }
    connection_ = std::move(connection);
    refresh(false);
    return true;
}

void X11ActiveWindowWatch::stop() {
    connection_.reset();
}

bool X11ActiveWindowWatch::isWatching() const {
    return connection_ != nullptr;
}

bool X11ActiveWindowWatch::readEvents() {
    Display* display = connection_->display.get();
    bool changed = false;
    while (!displayConnectionBroken(display) && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == PropertyNotify && event.xproperty.atom == connection_->activeWindowAtom &&
            event.xproperty.window == DefaultRootWindow(display))
            changed = true;
    }
    return changed;
}

void X11ActiveWindowWatch::refresh(bool notify) {
    Display* display = connection_->display.get();
    const std::optional<unsigned long> window = quoddle::activeWindow(display);
    const std::optional<ProcessId> pid = window ? windowPid(display, *window) : std::nullopt;
    if (window == window_ && pid == pid_) return;
    window_ = window;
    pid_ = pid;
    if (notify && handler_) handler_(pid);
}

void X11ActiveWindowWatch::processPending() {
    // The toolkit may have put its own handlers in since, and its handler ends the process on a lost
    // connection.
    ensureX11ErrorHandlers();
    std::shared_ptr<bool> alive = alive_;
    // Reading the property can bring in further events; go on until a pass finds none.
    while (connection_ && readEvents()) {
        refresh(true);
        if (!*alive) return;
    }
    if (connection_ && displayConnectionBroken(connection_->display.get())) stop();
}

} // namespace quoddle
