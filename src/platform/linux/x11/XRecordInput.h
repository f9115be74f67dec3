#pragma once
// The passive input monitor: every client's pointer buttons, keys (and, on request, pointer motion) as the
// X server processes them, real or synthetic, through the RECORD extension. Nothing is grabbed, changed or
// delayed for the applications.
//
// Two connections of its own: a control connection that owns the recording context, and a data connection
// that the server streams the recorded events to. The data connection is read on the Qt main loop when its
// socket is readable (so a QCoreApplication must exist before start() for events to arrive by themselves;
// without one, drain() reads them). The record callback only copies events into a queue; listeners are
// called afterwards, in order, on the main loop, with the key's symbol looked up.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quoddle {

struct InputEvent {
    enum class Kind { buttonPress, buttonRelease, keyPress, keyRelease, motion, broken };
    Kind kind = Kind::broken;
    unsigned detail = 0;      // the button (1 left, 2 middle, 3 right, 4-7 wheel, 8+ others) or keycode
    unsigned long keysym = 0; // key events: the key's symbol in the first group and level, 0 for none
    int rootX = 0, rootY = 0; // the pointer in root coordinates (origin at the top-left of the screen)
    unsigned long timeMs = 0; // the server's timestamp
    unsigned state = 0;       // modifiers and buttons held just before the event (X's state mask)
    bool guessed = false;     // not recorded: stands for a gesture in a Wayland window, which X never sees
    friend bool operator==(const InputEvent&, const InputEvent&) = default;
};

class XRecordInput {
public:
    using Listener = std::function<void(const InputEvent&)>;
    using ListenerId = std::uint64_t;

    // Records from the named display; empty: $DISPLAY.
    explicit XRecordInput(std::string displayName = {});
    ~XRecordInput();
    XRecordInput(const XRecordInput&) = delete;
    XRecordInput& operator=(const XRecordInput&) = delete;

    // Starts recording; true when already recording. False, with the reason, when the display cannot be
    // opened, the server has no RECORD extension, or the context cannot be created or enabled.
    bool start(std::string* reason = nullptr);
    // Ends the recording and closes both connections. Listeners stay registered.
    void stop();
    bool isRecording() const;

    // Listeners are called on the main loop, in registration order, for every button and key event; for
    // motion too when they ask for it (motion is only recorded while some listener wants it). When the
    // recording breaks (the server or its connections go away, or the context is ended), each gets one
    // event of kind broken, recording has stopped, and start() may be called again. Listeners may add and
    // remove listeners, and call start() and stop(), while being called; one removed during a batch is
    // not called again. The monitor must not be destroyed from inside a listener.
    ListenerId addListener(Listener listener, bool wantsMotion = false);
    void removeListener(ListenerId id);

    // Hands every event the server has processed until now to the listeners before returning (one round
    // trip). For decisions that must see the input that led to them, such as the key or release that just
    // closed a menu.
    void drain();

    // Hands the listeners an event the server never saw (one with `guessed` set), as if recorded now.
    void deliverGuessed(InputEvent event);

    // The recording context's id (an X resource of the control connection), 0 when not recording.
    unsigned long recordingContext() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace quoddle
