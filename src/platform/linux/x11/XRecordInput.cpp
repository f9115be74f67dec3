#include "platform/linux/x11/XRecordInput.h"

#include "platform/linux/x11/X11Handles.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/record.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace quoddle {

namespace {

// A core input event on the wire (the X protocol's 32-byte KeyPress..MotionNotify layout).
constexpr std::size_t kWireEventSize = 32;
constexpr std::size_t kTimeOffset = 4;
constexpr std::size_t kRootXOffset = 20;
constexpr std::size_t kRootYOffset = 22;
constexpr std::size_t kStateOffset = 28;

// What the record callback copies: raw fields only, interpreted later on the main loop.
struct RecordedEvent {
    int type = 0;
    unsigned detail = 0;
    std::uint32_t time = 0;
    std::int16_t rootX = 0, rootY = 0;
    std::uint16_t state = 0;
};

template <typename T> T readWire(const unsigned char* data, std::size_t offset, bool swapped) {
    T value;
    std::memcpy(&value, data + offset, sizeof value);
    if (swapped) {
        auto* bytes = reinterpret_cast<unsigned char*>(&value);
        std::reverse(bytes, bytes + sizeof value);
    }
    return value;
}

// The server sends recorded data only when it flushes output to some client, and an event that reaches no
// client (a click on a bare root window, a key with focus nowhere) causes none: it would sit in the
// recording until something else happens, seconds later. Asking for the raw device events on the control
// connection makes every such event output for this process, so the recording is flushed with it. Without
// XInput 2 the recording still works, only late in those cases.
void selectRawInput(Display* control, bool withMotion) {
    int opcode = 0, firstEvent = 0, firstError = 0;
    if (!XQueryExtension(control, "XInputExtension", &opcode, &firstEvent, &firstError)) return;
    int major = 2, minor = 1; // raw events of master devices regardless of grabs
    if (XIQueryVersion(control, &major, &minor) != Success) return;
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XISetMask(bits, XI_RawButtonPress);
    XISetMask(bits, XI_RawButtonRelease);
    if (withMotion) XISetMask(bits, XI_RawMotion);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    X11ErrorTrap trap(control);
    XISelectEvents(control, DefaultRootWindow(control), &mask, 1);
    trap.syncSucceeded();
}

struct DeleteLaterDeleter {
    void operator()(QSocketNotifier* notifier) const {
        if (!notifier) return;
        notifier->setEnabled(false);
        // It may be the notifier whose signal is being handled right now.
        notifier->deleteLater();
    }
};
using NotifierHandle = std::unique_ptr<QSocketNotifier, DeleteLaterDeleter>;

} // namespace

struct XRecordInput::Impl {
    struct ListenerEntry {
        ListenerId id;
        std::shared_ptr<Listener> listener;
        bool wantsMotion;
    };

    std::string displayName;
    DisplayHandle control;
    DisplayHandle data;
    XRecordContext context = 0;
    std::uint64_t session = 0; // counts starts, so a listener's restart is not taken for the old session
    bool recordingMotion = false;
    NotifierHandle dataNotifier;
    NotifierHandle controlNotifier;

    // Filled by the record callback only.
    std::vector<RecordedEvent> recorded;
    bool endOfData = false;

    std::vector<ListenerEntry> listeners;
    ListenerId nextListenerId = 1;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);

    ~Impl() { *alive = false; }

    static void recordCallback(XPointer closure, XRecordInterceptData* intercepted);

    bool start(std::string* reason);
    void stop();
    bool wantsMotion() const;
    void updateMotionRecording();
    bool setRecordedRange(bool withMotion);
    void readControlEvents();
    void processReplies();
    void deliverRecorded();
    void deliver(const InputEvent& event, const std::vector<ListenerEntry>& snapshot);
    bool isListening(ListenerId id) const;
};

void XRecordInput::Impl::recordCallback(XPointer closure, XRecordInterceptData* intercepted) {
    // No Xlib call here: the connection is in the middle of reading a reply.
    auto* impl = reinterpret_cast<Impl*>(closure);
    if (intercepted->category == XRecordEndOfData) {
        impl->endOfData = true;
    } else if (intercepted->category == XRecordFromServer && intercepted->data &&
               intercepted->data_len * 4 >= kWireEventSize) {
        const unsigned char* wire = intercepted->data;
        const bool swapped = intercepted->client_swapped;
        RecordedEvent event;
        event.type = wire[0] & 0x7f; // the high bit marks an event sent by a client
        event.detail = wire[1];
        event.time = readWire<std::uint32_t>(wire, kTimeOffset, swapped);
        event.rootX = readWire<std::int16_t>(wire, kRootXOffset, swapped);
        event.rootY = readWire<std::int16_t>(wire, kRootYOffset, swapped);
        event.state = readWire<std::uint16_t>(wire, kStateOffset, swapped);
        if (event.type >= KeyPress && event.type <= MotionNotify) impl->recorded.push_back(event);
    }
    XRecordFreeData(intercepted);
}

bool XRecordInput::Impl::wantsMotion() const {
    return std::any_of(listeners.begin(), listeners.end(),
                       [](const ListenerEntry& e) { return e.wantsMotion; });
}

bool XRecordInput::Impl::setRecordedRange(bool withMotion) {
    XFreePtr<XRecordRange> range(XRecordAllocRange());
    if (!range) return false;
    range->device_events.first = KeyPress;
    range->device_events.last = withMotion ? MotionNotify : ButtonRelease;
    XRecordRange* ranges[] = {range.get()};
    XRecordClientSpec clients = XRecordAllClients;
    X11ErrorTrap trap(control.get());
    if (!context) {
        context = XRecordCreateContext(control.get(), 0, &clients, 1, ranges, 1);
        if (!context) return false;
    } else if (!XRecordRegisterClients(control.get(), context, 0, &clients, 1, ranges, 1)) {
        // On an enabled context this replaces the recorded range at once.
        return false;
    }
    if (!trap.syncSucceeded()) return false;
    recordingMotion = withMotion;
    selectRawInput(control.get(), withMotion);
    return true;
}

void XRecordInput::Impl::updateMotionRecording() {
    if (context && control && wantsMotion() != recordingMotion) setRecordedRange(wantsMotion());
}

bool XRecordInput::Impl::start(std::string* reason) {
    auto fail = [&](const char* why) {
        stop();
        if (reason) *reason = why;
        return false;
    };
    if (context) return true;
    ++session;
    control = openDisplay(displayName);
    data = openDisplay(displayName);
    if (!control || !data) return fail("cannot open the X display");
    int major = 0, minor = 0;
    if (!XRecordQueryVersion(control.get(), &major, &minor))
        return fail("the X server has no RECORD extension");
    if (!setRecordedRange(wantsMotion())) return fail("cannot create an X recording context");
    // The data connection blocks in this request for as long as the recording lasts; replies arrive
    // asynchronously and are read by XRecordProcessReplies.
    if (!XRecordEnableContextAsync(data.get(), context, recordCallback, reinterpret_cast<XPointer>(this)))
        return fail("cannot enable the X recording context");
    XFlush(data.get());
    if (QCoreApplication::instance()) {
        dataNotifier.reset(new QSocketNotifier(ConnectionNumber(data.get()), QSocketNotifier::Read));
        QObject::connect(dataNotifier.get(), &QSocketNotifier::activated, dataNotifier.get(),
                         [this] { processReplies(); });
        // The control connection's events (the raw input that makes the server flush, keyboard map
        // changes, which reach every client) must be read: the former would pile up, and without the
        // latter the keysyms looked up on it go stale.
        controlNotifier.reset(new QSocketNotifier(ConnectionNumber(control.get()), QSocketNotifier::Read));
        QObject::connect(controlNotifier.get(), &QSocketNotifier::activated, controlNotifier.get(),
                         [this] { readControlEvents(); });
    }
    return true;
}

void XRecordInput::Impl::stop() {
    dataNotifier.reset();
    controlNotifier.reset();
    if (context && control && !displayConnectionBroken(control.get())) {
        X11ErrorTrap trap(control.get());
        XRecordDisableContext(control.get(), context);
        XRecordFreeContext(control.get(), context);
        trap.syncSucceeded();
    }
    context = 0;
    recordingMotion = false;
    // Closing the data connection reads what is still in flight, the end of the recording included;
    // the callback still finds this object.
    data.reset();
    control.reset();
    recorded.clear();
    endOfData = false;
}

void XRecordInput::Impl::readControlEvents() {
    // Raw input arrives here before the server has recorded the event itself, so one round trip after
    // it makes the server flush the recording (the data connection's notifier then reads it). A round
    // trip brings in further events; a few passes, then the rest on a later pass of the loop.
    ensureX11ErrorHandlers();
    for (int pass = 0; pass < 8; ++pass) {
        Display* display = control.get();
        if (!display) return;
        if (displayConnectionBroken(display)) {
            processReplies(); // ends the recording and tells the listeners
            return;
        }
        bool rawInput = false;
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == GenericEvent) rawInput = true;
            if (event.type == MappingNotify) XRefreshKeyboardMapping(&event.xmapping);
        }
        if (!rawInput) return;
        XSync(display, False);
        if (XEventsQueued(display, QueuedAlready) == 0) return;
    }
    if (controlNotifier)
        QMetaObject::invokeMethod(
            controlNotifier.get(), [this] { readControlEvents(); }, Qt::QueuedConnection);
}

void XRecordInput::Impl::processReplies() {
    if (!data) return;
    ensureX11ErrorHandlers();
    if (!displayConnectionBroken(data.get())) XRecordProcessReplies(data.get());
    const bool broken = endOfData || displayConnectionBroken(data.get()) ||
                        (control && displayConnectionBroken(control.get()));
    const std::uint64_t brokenSession = session;
    std::shared_ptr<bool> stillAlive = alive;
    deliverRecorded();
    // A listener may have stopped, or stopped and started again, meanwhile.
    if (!*stillAlive || !broken || !data || session != brokenSession) return;
    // Stop before telling, so a listener can start again at once.
    stop();
    const std::vector<ListenerEntry> snapshot = listeners;
    deliver(InputEvent{InputEvent::Kind::broken}, snapshot);
}

void XRecordInput::Impl::deliverRecorded() {
    if (recorded.empty()) return;
    std::vector<RecordedEvent> batch;
    batch.swap(recorded);
    const std::vector<ListenerEntry> snapshot = listeners;
    std::shared_ptr<bool> stillAlive = alive;
    for (const RecordedEvent& raw : batch) {
        InputEvent event;
        switch (raw.type) {
        case KeyPress:
            event.kind = InputEvent::Kind::keyPress;
            break;
        case KeyRelease:
            event.kind = InputEvent::Kind::keyRelease;
            break;
        case ButtonPress:
            event.kind = InputEvent::Kind::buttonPress;
            break;
        case ButtonRelease:
            event.kind = InputEvent::Kind::buttonRelease;
            break;
        default:
            event.kind = InputEvent::Kind::motion;
            break;
        }
        event.detail = raw.detail;
        event.rootX = raw.rootX;
        event.rootY = raw.rootY;
        event.timeMs = raw.time;
        event.state = raw.state;
        const bool isKey =
            event.kind == InputEvent::Kind::keyPress || event.kind == InputEvent::Kind::keyRelease;
        if (isKey && control && !displayConnectionBroken(control.get()))
            event.keysym = XkbKeycodeToKeysym(control.get(), static_cast<KeyCode>(raw.detail), 0, 0);
        deliver(event, snapshot);
        if (!*stillAlive) return;
    }
}

bool XRecordInput::Impl::isListening(ListenerId id) const {
    return std::any_of(listeners.begin(), listeners.end(),
                       [id](const ListenerEntry& e) { return e.id == id; });
}

void XRecordInput::Impl::deliver(const InputEvent& event, const std::vector<ListenerEntry>& snapshot) {
    std::shared_ptr<bool> stillAlive = alive;
    for (const ListenerEntry& entry : snapshot) {
        if (event.kind == InputEvent::Kind::motion && !entry.wantsMotion) continue;
        if (!isListening(entry.id)) continue;
        (*entry.listener)(event);
        if (!*stillAlive) return;
    }
}

XRecordInput::XRecordInput(std::string displayName) : impl_(std::make_unique<Impl>()) {
    impl_->displayName = std::move(displayName);
}

XRecordInput::~XRecordInput() {
    impl_->stop();
}

bool XRecordInput::start(std::string* reason) {
    return impl_->start(reason);
}

void XRecordInput::stop() {
    impl_->stop();
}

bool XRecordInput::isRecording() const {
    return impl_->context != 0;
}

XRecordInput::ListenerId XRecordInput::addListener(Listener listener, bool wantsMotion) {
    const ListenerId id = impl_->nextListenerId++;
    impl_->listeners.push_back({id, std::make_shared<Listener>(std::move(listener)), wantsMotion});
    impl_->updateMotionRecording();
    return id;
}

void XRecordInput::removeListener(ListenerId id) {
    std::erase_if(impl_->listeners, [id](const Impl::ListenerEntry& e) { return e.id == id; });
    impl_->updateMotionRecording();
}

void XRecordInput::drain() {
    Impl& impl = *impl_;
    if (!impl.control || !impl.data) return;
    // When the server answers the first round trip, it has processed and recorded every input event it
    // had read before, and flushes the recording while answering; by the time it answers the second,
    // that flush has reached the data connection's socket.
    for (int trip = 0; trip < 2 && !displayConnectionBroken(impl.control.get()); ++trip)
        XSync(impl.control.get(), False);
    impl.readControlEvents();
    impl.processReplies();
}

void XRecordInput::deliverGuessed(InputEvent event) {
    event.guessed = true;
    const std::vector<Impl::ListenerEntry> snapshot = impl_->listeners;
    impl_->deliver(event, snapshot);
}

unsigned long XRecordInput::recordingContext() const {
    return impl_->context;
}

} // namespace quoddle
