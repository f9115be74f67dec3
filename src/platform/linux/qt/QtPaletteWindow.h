#pragma once
// The palette on Qt: a borderless tool window that stays on top and never takes focus, placed exactly at
// the core's frame. Its content view is the whole window and Qt's own widget coordinates (origin top-left,
// y downward) are the flipped content coordinates the core lays its buttons out in.

#include "platform/Ui.h"

#include <QPointer>

#include <memory>
#include <vector>

class QPushButton;
class QWidget;

namespace quoddle {

class QtScreens;
class PaletteWidget;
class PaletteButtonWidget;

class QtButton : public Button {
public:
    // Shows the push button at the frame; `recycle` takes it back when the button is removed.
    QtButton(QPushButton& widget, const Rect& frame, std::function<void(QPushButton&)> recycle);
    ~QtButton() override;
    QtButton(const QtButton&) = delete;
    QtButton& operator=(const QtButton&) = delete;

    Rect frame() const override { return frame_; }
    void setTitle(const std::string& title) override;
    std::string title() const override { return title_; }
    void setAction(std::function<void()> action) override { action_ = std::move(action); }
    void removeFromSuperview() override;

    // The push button, null once removed.
    QPushButton* widget() const;
    // What a click does: the action, with the button kept alive through it.
    void performAction();

private:
    friend class QtPaletteWindow;
    Rect frame_;
    std::string title_;
    std::function<void()> action_;
    QPointer<QPushButton> widget_;
    std::function<void(QtButton*)> detach_;
    std::function<void(QPushButton&)> recycle_;

    void giveBackWidget();
};

class QtPaletteWindow : public PaletteWindow {
public:
    explicit QtPaletteWindow(const QtScreens& screens);
    ~QtPaletteWindow() override;
    QtPaletteWindow(const QtPaletteWindow&) = delete;
    QtPaletteWindow& operator=(const QtPaletteWindow&) = delete;

    bool isVisible() const override;
    void orderFront() override;
    void orderOut() override;
    Rect frame() const override { return frame_; }
    void setFrame(const Rect& frame, bool display) override;
    void setFrameOrigin(const Point& origin) override;
    Rect contentViewFrame() const override { return Rect{{0, 0}, frame_.size}; }
    void setOpacity(double opacity) override;
    std::optional<Rect> screenFrame() const override;
    ButtonRef addButton(const Rect& frame) override;
    void setWillCloseHandler(std::function<void()> handler) override { willClose_ = std::move(handler); }

    QWidget& widget() const;
    // The buttons now in the content view, in the order they were added.
    const std::vector<std::shared_ptr<QtButton>>& buttons() const { return buttons_; }

private:
    void applyGeometry();
    void prepareFirstShowing();
    PaletteButtonWidget* newButtonWidget();
    void willClose();

    const QtScreens& screens_;
    std::unique_ptr<PaletteWidget> widget_;
    Rect frame_{{0, 0}, {180, 100}};
    std::vector<std::shared_ptr<QtButton>> buttons_;
    // Push buttons of removed palette buttons, hidden, for the next ones: a rebuild reuses them.
    std::vector<QPointer<QPushButton>> spareWidgets_;
    std::function<void()> willClose_;
};

} // namespace quoddle
