#include "platform/linux/qt/QtPaletteWindow.h"

#include "platform/linux/qt/DesktopTheme.h"

#include "platform/linux/Conversions.h"
#include "platform/linux/qt/QtUi.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QTimer>
#include <QWidget>

namespace quoddle {

namespace {

// A border, then the label's padding on either side, as the style sheet below draws them.
constexpr int kButtonTextInset = 1 + 2;
// Labels are drawn at the larger size when they fit, else at a smaller one down to the least size when
// that fits them whole (the shortcut grid's buttons are under 40 points wide), else elided.
constexpr int kButtonFontPixelSize = 12;
constexpr int kButtonLeastFontPixelSize = 10;

constexpr const char* kDarkPaletteStyleSheet = R"(
QPushButton {
    color: #e8e8ea;
    background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #4a4b50, stop: 1 #3b3c40);
    border: 1px solid #67686e;
    border-radius: 5px;
    padding: 0px 2px;
}
QPushButton:hover {
    background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #4d5c74, stop: 1 #3f4d63);
    border-color: #6f98d3;
}
QPushButton:pressed {
    background-color: #35558a;
    border-color: #4f7fc2;
}
)";
constexpr const char* kPaletteStyleSheet = R"(
QPushButton {
    color: #1c1e21;
    background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #ffffff, stop: 1 #e9ecf0);
    border: 1px solid #aeb4bd;
    border-radius: 5px;
    padding: 0px 2px;
}
QPushButton:hover {
    background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #f4f8fe, stop: 1 #d9e6f8);
    border-color: #6f98d3;
}
QPushButton:pressed {
    background-color: #bcd2f0;
    border-color: #4f7fc2;
}
)";

// Qt reads '&' in a button's label as a mnemonic mark; a service title shows it as written.
QString escapedMnemonics(QString text) {
    return text.replace(QLatin1Char('&'), QLatin1String("&&"));
}

} // namespace

// The top-level widget: a light panel with a hairline edge, and the close that the core hears of.
class PaletteWidget : public QWidget {
public:
    PaletteWidget(std::function<void()> willClose, bool dark)
        : willClose_(std::move(willClose)), dark_(dark) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), dark_ ? QColor(0x2d, 0x2d, 0x30) : QColor(0xf3, 0xf4, 0xf6));
        painter.setPen(dark_ ? QColor(0x5c, 0x5d, 0x63) : QColor(0x9a, 0xa0, 0xa8));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    void closeEvent(QCloseEvent* event) override {
        if (willClose_) willClose_();
        event->accept();
    }

private:
    std::function<void()> willClose_;
    bool dark_;
};

// A push button that shows its whole title, or as much as fits with an ellipsis.
class PaletteButtonWidget : public QPushButton {
public:
    explicit PaletteButtonWidget(QWidget* parent) : QPushButton(parent) {}
    void setFullTitle(const QString& title) {
        fullTitle_ = title;
        setAccessibleName(title);
        updateShownText();
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QPushButton::resizeEvent(event);
        updateShownText();
    }

private:
    void updateShownText() {
        const int available = std::max(width() - 2 * kButtonTextInset, 0);
        QFont font = parentWidget() ? parentWidget()->font() : this->font();
        // Fitting is decided by the elision itself: it measures a little differently from an advance.
        QString shown;
        for (int size = kButtonFontPixelSize; size >= kButtonLeastFontPixelSize && shown != fullTitle_;
             --size) {
            font.setPixelSize(size);
            shown = QFontMetrics(font).elidedText(fullTitle_, Qt::ElideRight, available);
        }
        // A label too long even at the least size keeps the full size, elided.
        if (shown != fullTitle_) {
            font.setPixelSize(kButtonFontPixelSize);
            shown = QFontMetrics(font).elidedText(fullTitle_, Qt::ElideRight, available);
        }
        if (font != this->font()) setFont(font);
        setText(escapedMnemonics(shown));
    }
    QString fullTitle_;
};

QtButton::QtButton(QPushButton& widget, const Rect& frame, std::function<void(QPushButton&)> recycle)
    : frame_(frame), widget_(&widget), recycle_(std::move(recycle)) {
    widget.setGeometry(qRectOfPixelRect(pixelRectOfTopLeftRect(frame)));
    widget.show();
}

QtButton::~QtButton() {
    if (widget_) giveBackWidget();
}

void QtButton::giveBackWidget() {
    widget_->hide();
    widget_->disconnect();
    // Kept for the next rebuild, not destroyed: a click may still be delivered to it (it can be removed from
    // inside its own click), and a screen reader keeps knowing the same button.
    if (recycle_)
        recycle_(*widget_);
    else
        widget_->deleteLater();
    widget_ = nullptr;
}

void QtButton::setTitle(const std::string& title) {
    title_ = title;
    if (widget_)
        static_cast<PaletteButtonWidget*>(widget_.data())->setFullTitle(QString::fromStdString(title));
}

void QtButton::removeFromSuperview() {
    if (widget_) giveBackWidget();
    if (auto detach = std::move(detach_)) detach(this);
}

QPushButton* QtButton::widget() const {
    return widget_.data();
}

void QtButton::performAction() {
    if (!action_) return;
    auto action = action_; // the action may replace or drop itself
    action();
}

QtPaletteWindow::QtPaletteWindow(const QtScreens& screens)
    : screens_(screens),
      widget_(std::make_unique<PaletteWidget>([this] { willClose(); }, desktopPrefersDark())) {
    QWidget& w = *widget_;
    // Not managed by the window manager (as menus and tooltips are not): mapping it then takes no round
    // trip through the window manager, which was half the time from release to palette.
    w.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                     Qt::WindowDoesNotAcceptFocus | Qt::BypassWindowManagerHint);
    w.setAttribute(Qt::WA_ShowWithoutActivating);
    w.setAttribute(Qt::WA_QuitOnClose, false);
    w.setFocusPolicy(Qt::NoFocus);
    w.setWindowTitle(QStringLiteral("Quoddle Palette"));
    w.setAccessibleName(QStringLiteral("Quoddle palette"));
    QFont font = w.font();
    font.setPixelSize(kButtonFontPixelSize);
    w.setFont(font);
    w.setStyleSheet(QString::fromLatin1(desktopPrefersDark() ? kDarkPaletteStyleSheet : kPaletteStyleSheet));
    applyGeometry();
    // The native window now, so the first showing only maps it.
    w.winId();
    // Soon after start, not inside it: a start must not wait for drawing nobody sees.
    QTimer::singleShot(0, &w, [this] { prepareFirstShowing(); });
}

void QtPaletteWindow::prepareFirstShowing() {
    // Making the first buttons, polishing them with the style sheet and drawing their labels (fonts, glyphs)
    // took 8 to 22 ms at the first palette after start, against 1 ms later: done here, off screen, once.
    constexpr int kButtonsPrepared = 12;
    const QSize size(200, 20);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    for (int i = 0; i < kButtonsPrepared; ++i) {
        QPushButton* button = newButtonWidget();
        button->resize(size);
        button->setText(QStringLiteral("Copy Paste Undo Look Up 0123456789"));
        button->render(&image);
        button->hide(); // explicitly, or the palette's first showing would show every spare too
        spareWidgets_.emplace_back(button);
    }
}

PaletteButtonWidget* QtPaletteWindow::newButtonWidget() {
    auto* made = new PaletteButtonWidget(widget_.get());
    made->setFocusPolicy(Qt::NoFocus);
    made->setAutoDefault(false);
    return made;
}

QtPaletteWindow::~QtPaletteWindow() {
    // The buttons' widgets go with the window; the core may still hold the buttons.
    for (const auto& button : buttons_) {
        button->detach_ = nullptr;
        button->recycle_ = nullptr;
    }
}

bool QtPaletteWindow::isVisible() const {
    return widget_->isVisible();
}

void QtPaletteWindow::orderFront() {
    widget_->show();
    widget_->raise();
}

void QtPaletteWindow::orderOut() {
    widget_->hide();
}

void QtPaletteWindow::setFrame(const Rect& frame, bool display) {
    frame_ = frame;
    applyGeometry();
    if (display) widget_->update();
}

void QtPaletteWindow::setFrameOrigin(const Point& origin) {
    frame_.origin = origin;
    applyGeometry();
}

void QtPaletteWindow::applyGeometry() {
    const Rect topLeft = topLeftRectOfWindowRect(frame_, screens_.firstScreenHeight());
    widget_->setGeometry(qRectOfPixelRect(pixelRectOfTopLeftRect(topLeft)));
}

void QtPaletteWindow::setOpacity(double opacity) {
    widget_->setWindowOpacity(opacity);
}

std::optional<Rect> QtPaletteWindow::screenFrame() const {
    return screenHoldingMostOf(frame_, screens_.screenFrames());
}

ButtonRef QtPaletteWindow::addButton(const Rect& frame) {
    QPushButton* widget = nullptr;
    while (!widget && !spareWidgets_.empty()) {
        widget = spareWidgets_.back().data();
        spareWidgets_.pop_back();
    }
    if (!widget) widget = newButtonWidget();
    // Last among its siblings: a screen reader lists the buttons in the order they were added, whichever
    // spare widget each one reuses.
    widget->raise();
    auto button = std::make_shared<QtButton>(
        *widget, frame, [this](QPushButton& spare) { spareWidgets_.emplace_back(&spare); });
    button->detach_ = [this](QtButton* detached) {
        std::erase_if(buttons_, [detached](const auto& b) { return b.get() == detached; });
    };
    QObject::connect(button->widget(), &QPushButton::clicked, button->widget(),
                     [weak = std::weak_ptr<QtButton>(button)] {
                         if (std::shared_ptr<QtButton> self = weak.lock()) self->performAction();
                     });
    buttons_.push_back(button);
    return button;
}

QWidget& QtPaletteWindow::widget() const {
    return *widget_;
}

void QtPaletteWindow::willClose() {
    if (willClose_) willClose_();
}

} // namespace quoddle
