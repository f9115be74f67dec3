#pragma once
// The one QApplication of the Linux backend's test program, and waiting on Qt's loop with a deadline.

#include <chrono>
#include <functional>

class QApplication;

namespace quoddle::test {

// Made on first use, and kept for the rest of the program: on the X display when one can be opened
// (DISPLAY set), else on Qt's offscreen platform. QT_QPA_PLATFORM, when set, decides instead.
QApplication& qtApplication();

// A base for fixtures whose members are widgets: the application exists before they do.
struct WithQtApplication {
    WithQtApplication() { qtApplication(); }
};

// Whether the application runs on a real X display (tests of mapping, focus and clicks need one).
bool onX11Display();

// Runs Qt's loop until the condition holds or the timeout passes; returns the condition's last value.
bool spinUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

// Lets everything already due run: posted events, and timers whose time has come. The way to check that
// something does not happen, without sleeping.
void turnLoop();

} // namespace quoddle::test
