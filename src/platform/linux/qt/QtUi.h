#pragma once
// Quoddle's own windows on Qt, the small pieces: screens, pointer, plain windows, the text field, and the
// in-process hit test. Coordinates pass through Conversions.h only.
//
// Every object here needs the QApplication and lives on its thread.

#include "platform/EventTap.h"
#include "platform/Ui.h"
#include "platform/linux/Conversions.h"
#include "platform/linux/OwnWindows.h"

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <vector>

class QLabel;

namespace quoddle {

// The screens as Qt lists them (global coordinates, top-left form) and which is the primary.
struct QtScreenLayout {
    std::vector<Rect> topLeftScreens;
    std::size_t primaryIndex = 0;
};
QtScreenLayout currentScreenLayout();

Rect rectOfQRect(const QRect& rect);
// X pixels per Qt pixel: the desktop's scale, which Qt applies to Quoddle's own windows.
double deviceScale();
QRect qRectOfPixelRect(const PixelRect& rect);

class QtScreens : public Screens {
public:
    // Read from Qt at every call: screens come and go while Quoddle runs, and the palette asks once per
    // showing.
    std::vector<Rect> screenFrames() const override;
    // The height the flip between event and window-system coordinates is taken about.
    double firstScreenHeight() const;
};

class QtPointer : public Pointer {
public:
    explicit QtPointer(const QtScreens& screens) : screens_(screens) {}
    Point screenLocation() const override;
    Point eventLocation() const override;
    // On Wayland the pointer is not seen outside Quoddle's own windows: the place of a guessed gesture
    // (event coordinates) stands in for it until input is recorded again.
    void holdAt(std::optional<Point> eventLocation) { held_ = eventLocation; }

private:
    const QtScreens& screens_;
    std::optional<Point> held_;
};

// Which of Quoddle's ordinary windows was ordered front last: the one the application activates. The
// palette never counts, as it must never take focus.
class QtFrontWindows {
public:
    void noteOrderedFront(QWidget& window) { front_ = &window; }
    // The last window ordered front while it is still there and shown, else null.
    QWidget* mostRecent() const;

private:
    QPointer<QWidget> front_;
};

// A plain top-level window (the settings window, the loading window); the widget is owned elsewhere.
class QtWindow : public Window {
public:
    QtWindow(QWidget& widget, QtFrontWindows& frontWindows) : widget_(&widget), frontWindows_(frontWindows) {}
    bool isVisible() const override;
    void orderFront() override;
    void orderOut() override;

private:
    QPointer<QWidget> widget_;
    QtFrontWindows& frontWindows_;
};

// A one-line status text over a label owned elsewhere; never rich text, never selectable.
class QtTextField : public TextField {
public:
    explicit QtTextField(QLabel& label);
    void setStringValue(const std::string& text) override;
    void setTextColor(const Color& color) override;

private:
    QPointer<QLabel> label_;
};

class QtPaletteWindow;

// The hit test over all of Quoddle's top-level widgets: the push button under the point (its accessible
// name, else its label), else the window (its title). Frames in event coordinates.
//
// The palette, always on top, answers from the frames the core gave it: for a moment after it is mapped a
// reparenting window manager makes Qt report it at the frame window's origin, and the first press on it
// can come that soon. Other windows answer from Qt.
class QtOwnWindows : public OwnWindows {
public:
    QtOwnWindows(const QtPaletteWindow& palette, const QtScreens& screens)
        : palette_(palette), screens_(screens) {}
    std::optional<OwnWindowHit> hitTest(Point eventLocation) const override;

private:
    std::optional<OwnWindowHit> paletteHit(Point eventLocation) const;

    const QtPaletteWindow& palette_;
    const QtScreens& screens_;
};

} // namespace quoddle
