#include "platform/linux/QtPaletteWindow.h"
#include "platform/linux/QtTestApp.h"
#include "platform/linux/QtUi.h"

#include <QApplication>
#include <QCursor>
#include <QLineEdit>
#include <QPushButton>
#include <QWindow>

#include <gtest/gtest.h>

// X11 after Qt: its macros (None, Bool, KeyPress) would break Qt's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace quoddle {
namespace {

using test::spinUntil;

class QtPaletteWindowTest : public test::WithQtApplication, public ::testing::Test {
protected:
    // The frame (window-system coordinates) whose top-left lies at the given event point.
    Rect frameWithTopLeftAt(double x, double y, double width, double height) const {
        return windowRectOfTopLeftRect(Rect{{x, y}, {width, height}}, screens.firstScreenHeight());
    }

    QtScreens screens;
    QtPaletteWindow palette{screens};
};

TEST_F(QtPaletteWindowTest, PlacesTheWindowAtTheCoresFrameAndButtonsInContentCoordinates) {
    const Rect frame = frameWithTopLeftAt(200, 150, 180, 58);
    palette.setFrame(frame, true);
    EXPECT_EQ(palette.frame(), frame);
    EXPECT_EQ(palette.contentViewFrame(), (Rect{{0, 0}, {180, 58}}));
    EXPECT_EQ(palette.widget().geometry(), QRect(200, 150, 180, 58));
    // The core keeps the top edge where it is when it grows the palette by a row.
    Rect taller = frame;
    taller.size.height += 26;
    taller.origin.y -= 26;
    palette.setFrame(taller, false);
    EXPECT_EQ(palette.widget().geometry(), QRect(200, 150, 180, 84));
    palette.setFrameOrigin(windowPointOfEventPoint({300, 250 + 84}, screens.firstScreenHeight()));
    EXPECT_EQ(palette.widget().geometry(), QRect(300, 250, 180, 84));
    EXPECT_EQ(palette.screenFrame(), screens.screenFrames().front());
    palette.setFrameOrigin({-10000, -10000});
    EXPECT_EQ(palette.screenFrame(), std::nullopt);

    // Content coordinates are the widget's own: origin top-left, y downward.
    ButtonRef first = palette.addButton(Rect{{6, 6}, {168, 20}});
    ButtonRef second = palette.addButton(Rect{{6, 32}, {80.5, 20}});
    auto& firstButton = static_cast<QtButton&>(*first);
    EXPECT_EQ(firstButton.widget()->geometry(), QRect(6, 6, 168, 20));
    EXPECT_EQ(static_cast<QtButton&>(*second).widget()->geometry(), QRect(6, 32, 81, 20));
    EXPECT_EQ(first->frame(), (Rect{{6, 6}, {168, 20}}));
    EXPECT_EQ(firstButton.widget()->parentWidget(), &palette.widget());
    EXPECT_EQ(firstButton.widget()->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(palette.buttons().size(), 2u);
}

TEST_F(QtPaletteWindowTest, ShowsTitlesLiterallyAndElidesWhatDoesNotFit) {
    ButtonRef button = palette.addButton(Rect{{6, 6}, {168, 20}});
    QPushButton& widget = *static_cast<QtButton&>(*button).widget();
    button->setTitle("Search & Replace");
    EXPECT_EQ(button->title(), "Search & Replace");
    EXPECT_EQ(widget.text(), QStringLiteral("Search && Replace")); // shown as one '&', no mnemonic
    EXPECT_EQ(widget.accessibleName(), QStringLiteral("Search & Replace"));

    const std::string longTitle = "Make New Sticky Note From The Selected Text In The Front Window";
    button->setTitle(longTitle);
    const QString shown = widget.text();
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE(widget.fontMetrics().horizontalAdvance(shown), widget.width());
    EXPECT_EQ(widget.accessibleName().toStdString(), longTitle);
    EXPECT_EQ(button->title(), longTitle);
    EXPECT_EQ(widget.font().pixelSize(), 12); // elided, not shrunk: it would not fit at any size

    // A shortcut's short label fits its narrow grid cell whole, in a smaller size if need be.
    ButtonRef narrow = palette.addButton(Rect{{6, 6}, {37.5, 20}});
    QPushButton& cell = *static_cast<QtButton&>(*narrow).widget();
    for (const char* label : {"Copy", "Paste", "Undo", "All"}) {
        narrow->setTitle(label);
        EXPECT_EQ(cell.text(), QString::fromLatin1(label));
        EXPECT_LE(cell.fontMetrics().horizontalAdvance(cell.text()), cell.width() - 6) << label;
        EXPECT_GE(cell.font().pixelSize(), 10) << label;
    }
}

TEST_F(QtPaletteWindowTest, ClicksRunTheActionAndRemovedButtonsGoAndAreReused) {
    ButtonRef kept = palette.addButton(Rect{{6, 6}, {80, 20}});
    ButtonRef removed = palette.addButton(Rect{{90, 6}, {80, 20}});
    int keptClicks = 0;
    int removedClicks = 0;
    const Button* sender = nullptr;
    kept->setTag(7);
    kept->setAction([&](Button& b) {
        ++keptClicks;
        sender = &b;
        EXPECT_EQ(b.tag(), 7);
    });
    removed->setAction([&](Button& b) {
        ++removedClicks;
        // Taken off the palette from inside its own click, as a rebuild after a press would.
        b.removeFromSuperview();
    });
    QPointer<QPushButton> removedWidget = static_cast<QtButton&>(*removed).widget();

    static_cast<QtButton&>(*kept).widget()->click();
    EXPECT_EQ(keptClicks, 1);
    EXPECT_EQ(sender, kept.get());
    removedWidget->click();
    EXPECT_EQ(removedClicks, 1);
    EXPECT_EQ(palette.buttons().size(), 1u);
    EXPECT_EQ(palette.buttons().front(), kept);
    EXPECT_FALSE(removedWidget->isVisible()) << "taken off the palette";
    EXPECT_EQ(static_cast<QtButton&>(*removed).widget(), nullptr);
    removed->removeFromSuperview(); // a second time: nothing
    removed.reset();
    // The next button reuses the push button, with nothing of the removed one's action.
    ButtonRef next = palette.addButton(Rect{{90, 6}, {80, 20}});
    EXPECT_EQ(static_cast<QtButton&>(*next).widget(), removedWidget.data());
    removedWidget->click();
    EXPECT_EQ(removedClicks, 1);
    next->removeFromSuperview();

    // A button the core let go of stays on the palette, and still works, until it is removed.
    QPointer<QPushButton> keptWidget = static_cast<QtButton&>(*kept).widget();
    kept.reset();
    ASSERT_FALSE(keptWidget.isNull());
    keptWidget->click();
    EXPECT_EQ(keptClicks, 2);
}

TEST_F(QtPaletteWindowTest, AnswersHitTestsForItsButtonsAndItself) {
    palette.setFrame(frameWithTopLeftAt(100, 120, 180, 58), false);
    ButtonRef button = palette.addButton(Rect{{6, 6}, {168, 20}});
    button->setTitle("Look Up & Define");
    int closes = 0;
    palette.setWillCloseHandler([&] { ++closes; });
    ButtonRef below = palette.addButton(Rect{{6, 32}, {80, 20}});
    below->setTitle("Below");
    QtOwnWindows own(palette, screens);
    EXPECT_FALSE(own.hitTest(Point{150, 135.5})); // not shown yet
    // Answered at once after the showing, before any window manager is through with the window.
    palette.orderFront();
    const auto onButton = own.hitTest(Point{150, 135.5});
    ASSERT_TRUE(onButton);
    EXPECT_EQ(onButton->role, "AXButton");
    EXPECT_EQ(onButton->title, "Look Up & Define");
    EXPECT_EQ(onButton->frame, (Rect{{106, 126}, {168, 20}}));
    const auto onWindow = own.hitTest(Point{102, 170});
    ASSERT_TRUE(onWindow);
    EXPECT_EQ(onWindow->role, "AXWindow");
    EXPECT_EQ(onWindow->title, "Quoddle Palette");
    EXPECT_EQ(onWindow->frame, (Rect{{100, 120}, {180, 58}}));
    const auto onSecond = own.hitTest(Point{185.9, 152});
    ASSERT_TRUE(onSecond);
    EXPECT_EQ(onSecond->title, "Below");
    EXPECT_EQ(onSecond->frame, (Rect{{106, 152}, {80, 20}}));
    EXPECT_EQ(own.hitTest(Point{186, 152})->role, "AXWindow"); // its right edge is outside
    EXPECT_FALSE(own.hitTest(Point{99.9, 170}));
    EXPECT_FALSE(own.hitTest(Point{100, 178}));
    EXPECT_FALSE(own.hitTest(Point{1e300, 5}));
    below->removeFromSuperview();
    EXPECT_EQ(own.hitTest(Point{120, 160})->role, "AXWindow");

    palette.widget().close();
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(palette.isVisible());
    EXPECT_FALSE(own.hitTest(Point{150, 135.5}));
    test::turnLoop();
    EXPECT_FALSE(own.hitTest(Point{150, 135.5}));
}

// The X server's view of a window, from a connection of its own.
class XServer {
public:
    XServer() : display_(XOpenDisplay(nullptr)) {}
    ~XServer() {
        if (display_) XCloseDisplay(display_);
    }
    explicit operator bool() const { return display_ != nullptr; }

    bool isViewable(WId window) {
        XWindowAttributes attributes;
        return XGetWindowAttributes(display_, window, &attributes) && attributes.map_state == IsViewable;
    }
    // Where the window's content lies on the root window, as the user sees it.
    QRect rootGeometry(WId window) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display_, window, &attributes)) return {};
        int x = 0, y = 0;
        ::Window child = 0;
        XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
        return QRect(x, y, attributes.width, attributes.height);
    }
    // Whether the window tells a window manager never to give it focus (ICCCM's input hint).
    bool refusesInputFocus(WId window) {
        XWMHints* hints = XGetWMHints(display_, window);
        if (!hints) return false;
        const bool refuses = (hints->flags & InputHint) && !hints->input;
        XFree(hints);
        return refuses;
    }
    // The window's _NET_WM_USER_TIME, read where the window keeps it; 0 asks not to be activated on map.
    std::optional<unsigned long> userTime(WId window) {
        if (auto timeWindow = cardinal(window, "_NET_WM_USER_TIME_WINDOW")) window = *timeWindow;
        return cardinal(window, "_NET_WM_USER_TIME");
    }
    ::Window inputFocus() {
        ::Window focus = 0;
        int revert = 0;
        XGetInputFocus(display_, &focus, &revert);
        return focus;
    }
    void movePointer(int x, int y) {
        XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
        XSync(display_, False);
    }
    void click(int x, int y) {
        movePointer(x, y);
        XTestFakeButtonEvent(display_, 1, True, CurrentTime);
        XTestFakeButtonEvent(display_, 1, False, CurrentTime);
        XSync(display_, False);
    }

private:
    std::optional<unsigned long> cardinal(WId window, const char* name) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        const Atom property = XInternAtom(display_, name, False);
        if (XGetWindowProperty(display_, window, property, 0, 1, False, AnyPropertyType, &type, &format,
                               &count, &after, &data) != Success)
            return std::nullopt;
        std::optional<unsigned long> value;
        if (data && count == 1 && format == 32) value = *reinterpret_cast<unsigned long*>(data);
        if (data) XFree(data);
        return value;
    }

    Display* display_;
};

class QtPaletteWindowOnX11Test : public QtPaletteWindowTest {
protected:
    void SetUp() override {
        if (!test::onX11Display() || !x) GTEST_SKIP() << "needs an X display";
        // An ordinary window of ours holds the focus, as the application being served would.
        editor.setWindowTitle(QStringLiteral("focus holder"));
        editor.setGeometry(700, 500, 300, 60);
        editor.show();
        editor.activateWindow();
        ASSERT_TRUE(spinUntil([&] { return QGuiApplication::focusWindow() == editor.windowHandle(); }));
        // The X server's focus too: the window manager may still be moving it from an earlier window.
        ASSERT_TRUE(spinUntil([&] { return x.inputFocus() == editor.winId(); }));
        focusBefore = x.inputFocus();
    }

    XServer x;
    QLineEdit editor;
    ::Window focusBefore = 0;
};

TEST_F(QtPaletteWindowOnX11Test, MapsExactlyAtTheFrameWithoutTakingFocus) {
    palette.setFrame(frameWithTopLeftAt(321, 123, 180, 84), false);
    palette.addButton(Rect{{6, 6}, {168, 20}})->setTitle("Copy");
    const WId window = palette.widget().winId();
    EXPECT_FALSE(x.isViewable(window));
    palette.orderFront();
    ASSERT_TRUE(spinUntil([&] { return x.isViewable(window); }));
    // A window manager places a window at its own mind unless told; this one must not move it.
    ASSERT_TRUE(spinUntil([&] { return x.rootGeometry(window) == QRect(321, 123, 180, 84); }))
        << "at " << x.rootGeometry(window).x() << "," << x.rootGeometry(window).y();
    EXPECT_EQ(QGuiApplication::focusWindow(), editor.windowHandle());
    EXPECT_EQ(x.inputFocus(), focusBefore);
    // What keeps any window manager from focusing it, now or on a click.
    EXPECT_TRUE(x.refusesInputFocus(window));
    EXPECT_EQ(x.userTime(window), 0ul);

    // Moved while shown, it follows exactly.
    palette.setFrameOrigin(windowPointOfEventPoint({400, 300 + 84}, screens.firstScreenHeight()));
    ASSERT_TRUE(spinUntil([&] { return x.rootGeometry(window) == QRect(400, 300, 180, 84); }));

    palette.orderOut();
    ASSERT_TRUE(spinUntil([&] { return !x.isViewable(window); }));
    EXPECT_EQ(x.inputFocus(), focusBefore);
}

TEST_F(QtPaletteWindowOnX11Test, TakesAClickWithoutTakingFocus) {
    palette.setFrame(frameWithTopLeftAt(250, 200, 180, 58), false);
    ButtonRef button = palette.addButton(Rect{{6, 6}, {168, 20}});
    button->setTitle("Paste");
    int clicks = 0;
    button->setAction([&](Button&) { ++clicks; });
    palette.orderFront();
    const WId window = palette.widget().winId();
    ASSERT_TRUE(
        spinUntil([&] { return x.isViewable(window) && palette.widget().windowHandle()->isExposed(); }));

    x.click(250 + 6 + 84, 200 + 6 + 10);
    ASSERT_TRUE(spinUntil([&] { return clicks == 1; }));
    EXPECT_EQ(QGuiApplication::focusWindow(), editor.windowHandle());
    EXPECT_EQ(x.inputFocus(), focusBefore);
    EXPECT_TRUE(editor.hasFocus());
}

TEST_F(QtPaletteWindowOnX11Test, ReadsThePointerInBothCoordinateSystems) {
    QtPointer pointer(screens);
    x.movePointer(123, 45);
    ASSERT_TRUE(spinUntil([&] { return pointer.eventLocation() == Point{123, 45}; }));
    EXPECT_EQ(pointer.mouseLocation(), (Point{123, screens.firstScreenHeight() - 45}));
    const std::vector<Rect> frames = screens.screenFrames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.front().origin, (Point{0, 0}));
}

} // namespace
} // namespace quoddle
