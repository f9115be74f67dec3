#include "platform/linux/QtTestApp.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include "platform/linux/X11TestSession.h"

namespace quoddle::test {

QApplication& qtApplication() {
    // Never destroyed: widgets of finished tests may still be queued for deletion at exit.
    static QApplication* application = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", testing::openTestDisplay() ? "xcb" : "offscreen");
        static int argc = 1;
        static char name[] = "quoddle_linux_tests";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return *application;
}

bool onX11Display() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

bool spinUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    QElapsedTimer elapsed;
    elapsed.start();
    // Wakes the waiting loop now and then: some conditions are state of the X server, not Qt events.
    QTimer wake;
    wake.start(5);
    while (!condition()) {
        if (elapsed.elapsed() >= timeout.count()) return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

void turnLoop() {
    bool turned = false;
    // A zero timer started now fires after those already due and after the events already posted.
    QTimer::singleShot(0, [&turned] { turned = true; });
    spinUntil([&turned] { return turned; });
}

} // namespace quoddle::test
