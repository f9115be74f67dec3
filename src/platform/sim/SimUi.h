#pragma once
// The simulated windows, buttons, text views, screens, pointer and keyboard layout. Tests read their
// state back: which buttons the palette carries and where, its frame, level and visibility, the texts.

#include "platform/EventTap.h"
#include "platform/Ui.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quoddle {

class SimScreens : public Screens {
public:
    std::vector<Rect> screenFrames() const override { return frames; }
    std::vector<Rect> frames{Rect{{0, 0}, {1440, 900}}};
};

class SimButton : public Button {
public:
    SimButton(Rect frame, std::function<void(SimButton*)> detach)
        : frame_(frame), detach_(std::move(detach)) {}
    Rect frame() const override { return frame_; }
    void setTitle(const std::string& title) override { title_ = title; }
    std::string title() const override { return title_; }
    void setAction(std::function<void()> action) override { action_ = std::move(action); }
    void removeFromSuperview() override;
    // What a click of the user does.
    void performClick();

private:
    Rect frame_;
    std::string title_;
    std::function<void()> action_;
    std::function<void(SimButton*)> detach_;
};

class SimWindow : public Window {
public:
    bool isVisible() const override { return visible_; }
    void orderFront() override {
        visible_ = true;
        ++orderFrontCount;
    }
    void orderOut() override {
        if (willOrderOut) willOrderOut();
        visible_ = false;
    }
    int orderFrontCount = 0;
    std::function<void()> willOrderOut; // lets a test look at the moment the window goes

protected:
    bool visible_ = false;
};

class SimPaletteWindow : public PaletteWindow {
public:
    explicit SimPaletteWindow(const Screens& screens) : screens_(screens) {}

    bool isVisible() const override { return visible_; }
    void orderFront() override { visible_ = true; }
    void orderOut() override { visible_ = false; }
    Rect frame() const override { return frame_; }
    void setFrame(const Rect& frame, bool display) override;
    void setFrameOrigin(const Point& origin) override { frame_.origin = origin; }
    Rect contentViewFrame() const override;
    void setOpacity(double opacity) override { this->opacity = opacity; }
    std::optional<Rect> screenFrame() const override;
    ButtonRef addButton(const Rect& frame) override;
    void setWillCloseHandler(std::function<void()> handler) override { willClose_ = std::move(handler); }

    // The buttons now in the content view, in the order they were added.
    const std::vector<std::shared_ptr<SimButton>>& buttons() const { return buttons_; }
    // The button with that title, or null.
    SimButton* buttonTitled(const std::string& title) const;
    // What closing the window does: the will-close handler, then the window goes away.
    void close();

    double opacity = 1;
    double frameAllowance = 0; // frame height minus content height: 0 for the borderless palette
    int displayCount = 0;      // frame changes that asked for an immediate redraw

private:
    const Screens& screens_;
    Rect frame_{{0, 0}, {180, 100}};
    bool visible_ = false;
    std::vector<std::shared_ptr<SimButton>> buttons_;
    std::function<void()> willClose_;
};

class SimTextView : public TextView {
public:
    std::string string() const override { return text_; }
    void setString(const std::string& text) override;
    // Every simulated font is monospaced, each character cell 0.6 em wide (as Monaco's).
    Font fontWithName(const std::string& name, double pointSize) const override {
        return Font{name, pointSize, pointSize * 0.6};
    }
    void setFont(const Font& font) override { viewFont = font; }
    void setTextStorageFont(const Font& font) override { storageFont = font; }
    void setDefaultParagraphStyle(const ParagraphStyle& style) override { defaultParagraphStyle = style; }
    void setSmartInsertDeleteEnabled(bool enabled) override { smartInsertDeleteEnabled = enabled; }
    void addParagraphStyle(const ParagraphStyle& style, TextRange range) override;
    void addBackgroundColor(const Color& color, TextRange range) override;
    void setEditedHandler(std::function<void()> handler) override { edited_ = std::move(handler); }

    // What the user's typing does: the text changes, then the storage reports the finished edit.
    void userEdit(const std::string& text);
    // The attributes at a UTF-16 position, none where nothing was set.
    std::optional<Color> backgroundColorAt(std::size_t position) const;
    std::optional<ParagraphStyle> paragraphStyleAt(std::size_t position) const;
    std::size_t length() const; // in UTF-16 code units

    Font viewFont;
    Font storageFont;
    ParagraphStyle defaultParagraphStyle;
    bool smartInsertDeleteEnabled = true;

private:
    std::string text_;
    std::vector<std::pair<TextRange, Color>> backgrounds_;
    std::vector<std::pair<TextRange, ParagraphStyle>> paragraphStyles_;
    std::function<void()> edited_;
};

class SimTextField : public TextField {
public:
    void setStringValue(const std::string& text) override { stringValue = text; }
    void setTextColor(const Color& color) override { textColor = color; }
    std::string stringValue = "\"Enable access for assistive devices\" is OFF.";
    Color textColor{1, 0, 0, 1};
};

// The pointer, kept in window-system coordinates; event coordinates are derived from the first screen.
class SimPointer : public Pointer {
public:
    explicit SimPointer(const Screens& screens) : screens_(screens) {}
    Point screenLocation() const override { return location_; }
    Point eventLocation() const override;
    void moveTo(Point screenLocation) { location_ = screenLocation; }
    // Event coordinates to window-system coordinates and back, by the first screen.
    Point screenPointOfEventPoint(Point eventLocation) const;
    Point eventPointOfScreenPoint(Point screenLocation) const {
        return screenPointOfEventPoint(screenLocation);
    }

private:
    const Screens& screens_;
    Point location_{100, 100};
};

// An ordinary US keyboard layout with macOS virtual key codes.
class SimKeyboardLayout : public KeyboardLayout {
public:
    std::optional<char16_t> characterForKeyCode(std::uint16_t virtualKey) const override;
    mutable int translations = 0; // how often a key was translated: the tables are built once
};

} // namespace quoddle
