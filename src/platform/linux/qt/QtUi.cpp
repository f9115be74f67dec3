#include "platform/linux/qt/QtUi.h"

#include "platform/linux/qt/QtPaletteWindow.h"

#include <QApplication>
#include <QColor>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QScreen>

#include <cmath>

namespace quoddle {

namespace {

// A button's label without the mnemonic marks Qt reads in it ("&&" is a literal ampersand).
QString withoutMnemonics(const QString& label) {
    QString plain;
    plain.reserve(label.size());
    for (qsizetype i = 0; i < label.size(); ++i) {
        if (label[i] == QLatin1Char('&') && i + 1 < label.size()) ++i;
        plain += label[i];
    }
    return plain;
}

QPushButton* pushButtonAt(QWidget* widget) {
    for (QWidget* w = widget; w; w = w->isWindow() ? nullptr : w->parentWidget())
        if (auto* button = qobject_cast<QPushButton*>(w)) return button;
    return nullptr;
}

} // namespace

Rect rectOfQRect(const QRect& rect) {
    return Rect{{static_cast<double>(rect.x()), static_cast<double>(rect.y())},
                {static_cast<double>(rect.width()), static_cast<double>(rect.height())}};
}

QRect qRectOfPixelRect(const PixelRect& rect) {
    return QRect(rect.x, rect.y, rect.width, rect.height);
}

double deviceScale() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double scale = screen ? screen->devicePixelRatio() : 1.0;
    return scale > 0 ? scale : 1.0;
}

QtScreenLayout currentScreenLayout() {
    QtScreenLayout layout;
    const QList<QScreen*> screens = QGuiApplication::screens();
    const QScreen* primary = QGuiApplication::primaryScreen();
    for (const QScreen* screen : screens) {
        if (screen == primary) layout.primaryIndex = layout.topLeftScreens.size();
        layout.topLeftScreens.push_back(rectOfQRect(screen->geometry()));
    }
    return layout;
}

std::vector<Rect> QtScreens::screenFrames() const {
    const QtScreenLayout layout = currentScreenLayout();
    return windowScreenFrames(layout.topLeftScreens, layout.primaryIndex);
}

double QtScreens::firstScreenHeight() const {
    const QtScreenLayout layout = currentScreenLayout();
    return firstScreenHeightOf(layout.topLeftScreens, layout.primaryIndex);
}

Point QtPointer::eventLocation() const {
    if (held_) return *held_;
    const QPoint position = QCursor::pos();
    return Point{static_cast<double>(position.x()), static_cast<double>(position.y())};
}

Point QtPointer::screenLocation() const {
    return windowPointOfEventPoint(eventLocation(), screens_.firstScreenHeight());
}

QWidget* QtFrontWindows::mostRecent() const {
    return front_ && front_->isVisible() ? front_.data() : nullptr;
}

bool QtWindow::isVisible() const {
    return widget_ && widget_->isVisible();
}

void QtWindow::orderFront() {
    if (!widget_) return;
    widget_->show();
    widget_->raise();
    widget_->activateWindow();
    frontWindows_.noteOrderedFront(*widget_);
}

void QtWindow::orderOut() {
    if (widget_) widget_->hide();
}

QtTextField::QtTextField(QLabel& label) : label_(&label) {
    label.setTextFormat(Qt::PlainText);
    label.setTextInteractionFlags(Qt::NoTextInteraction);
}

void QtTextField::setStringValue(const std::string& text) {
    if (label_) label_->setText(QString::fromStdString(text));
}

void QtTextField::setTextColor(const Color& color) {
    if (!label_) return;
    QPalette palette = label_->palette();
    palette.setColor(QPalette::WindowText,
                     QColor::fromRgbF(static_cast<float>(color.red), static_cast<float>(color.green),
                                      static_cast<float>(color.blue), static_cast<float>(color.alpha)));
    label_->setPalette(palette);
}

namespace {

bool pixelRectContains(const PixelRect& rect, Point point) {
    return point.x >= rect.x && point.x < rect.x + rect.width && point.y >= rect.y &&
           point.y < rect.y + rect.height;
}

Rect rectOfPixelRect(const PixelRect& rect, int dx = 0, int dy = 0) {
    return Rect{{static_cast<double>(rect.x + dx), static_cast<double>(rect.y + dy)},
                {static_cast<double>(rect.width), static_cast<double>(rect.height)}};
}

} // namespace

std::optional<OwnWindowHit> QtOwnWindows::paletteHit(Point eventLocation) const {
    if (!palette_.isVisible()) return std::nullopt;
    // Where the palette was put, in whole pixels, exactly as its geometry was applied.
    const PixelRect window =
        pixelRectOfTopLeftRect(topLeftRectOfWindowRect(palette_.frame(), screens_.firstScreenHeight()));
    if (!pixelRectContains(window, eventLocation)) return std::nullopt;
    const Point local{eventLocation.x - window.x, eventLocation.y - window.y};
    const auto& buttons = palette_.buttons();
    // Later buttons lie above earlier ones.
    for (auto it = buttons.rbegin(); it != buttons.rend(); ++it) {
        const PixelRect frame = pixelRectOfTopLeftRect((*it)->frame());
        if (pixelRectContains(frame, local))
            return OwnWindowHit{ax::Role::button, (*it)->title(), rectOfPixelRect(frame, window.x, window.y)};
    }
    return OwnWindowHit{ax::Role::window, palette_.widget().windowTitle().toStdString(),
                        rectOfPixelRect(window)};
}

std::optional<OwnWindowHit> QtOwnWindows::hitTest(Point eventLocation) const {
    if (std::optional<OwnWindowHit> hit = paletteHit(eventLocation)) return hit;
    // The pixel that holds the point (toward -infinity, not rounded); nothing of ours lies beyond 16 bits.
    constexpr double limit = 1 << 20;
    if (!(std::abs(eventLocation.x) < limit && std::abs(eventLocation.y) < limit)) return std::nullopt;
    const QPoint point(static_cast<int>(std::floor(eventLocation.x)),
                       static_cast<int>(std::floor(eventLocation.y)));
    QWidget* widget = QApplication::widgetAt(point);
    // Outside the frames it was given the palette is not there, whatever Qt believes for the moment.
    if (!widget || widget->window() == &palette_.widget()) return std::nullopt;
    if (QPushButton* button = pushButtonAt(widget)) {
        const QString name = button->accessibleName();
        const QString title = name.isEmpty() ? withoutMnemonics(button->text()) : name;
        const QRect frame(button->mapToGlobal(QPoint(0, 0)), button->size());
        return OwnWindowHit{ax::Role::button, title.toStdString(), rectOfQRect(frame)};
    }
    QWidget* window = widget->window();
    return OwnWindowHit{ax::Role::window, window->windowTitle().toStdString(),
                        rectOfQRect(window->geometry())};
}

} // namespace quoddle
