#pragma once
// Port: the application's own windows, buttons, text views, screens and keyboard layout.

#include "platform/Geometry.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quoddle {

struct Color {
    double red = 0, green = 0, blue = 0, alpha = 1;
    friend bool operator==(const Color&, const Color&) = default;
};

struct Font {
    std::string name;
    double pointSize = 0;
    double maximumAdvancementWidth = 0;
    friend bool operator==(const Font&, const Font&) = default;
};

struct ParagraphStyle {
    std::vector<double> leftTabStops;
    friend bool operator==(const ParagraphStyle&, const ParagraphStyle&) = default;
};

// A range of a text in UTF-16 code units.
struct TextRange {
    std::size_t location = 0;
    std::size_t length = 0;
    friend bool operator==(const TextRange&, const TextRange&) = default;
};

class Button {
public:
    virtual ~Button() = default;
    virtual Rect frame() const = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual std::string title() const = 0;
    virtual void setAction(std::function<void()> action) = 0;
    virtual void removeFromSuperview() = 0;
};
using ButtonRef = std::shared_ptr<Button>;

class Window {
public:
    virtual ~Window() = default;
    virtual bool isVisible() const = 0;
    virtual void orderFront() = 0;
    virtual void orderOut() = 0;
};

// The palette: a borderless window whose content view is flipped (origin at the top-left, y downward). It
// floats above ordinary windows (the status-window level), is not opaque, and stays when another
// application becomes active.
class PaletteWindow : public Window {
public:
    virtual Rect frame() const = 0;
    virtual void setFrame(const Rect& frame, bool display) = 0;
    virtual void setFrameOrigin(const Point& origin) = 0;
    virtual Rect contentViewFrame() const = 0;
    virtual void setOpacity(double opacity) = 0;
    // The frame of the screen the window is on, none when it is on no screen.
    virtual std::optional<Rect> screenFrame() const = 0;
    // A push button in the content view, at a frame in content-view coordinates.
    virtual ButtonRef addButton(const Rect& frame) = 0;
    // Called when the window is about to close.
    virtual void setWillCloseHandler(std::function<void()> handler) = 0;
};

// A text view with its text storage. Ranges count UTF-16 code units.
class TextView {
public:
    virtual ~TextView() = default;
    virtual std::string string() const = 0;
    virtual void setString(const std::string& text) = 0;
    // The font of that name and size with the metrics this view draws it with; when the platform has no
    // font of that name, its closest monospaced one.
    virtual Font fontWithName(const std::string& name, double pointSize) const = 0;
    virtual void setFont(const Font& font) = 0;            // the view's typing font
    virtual void setTextStorageFont(const Font& font) = 0; // the font of the stored text
    virtual void setDefaultParagraphStyle(const ParagraphStyle& style) = 0;
    virtual void setSmartInsertDeleteEnabled(bool enabled) = 0;
    virtual void addParagraphStyle(const ParagraphStyle& style, TextRange range) = 0;
    virtual void addBackgroundColor(const Color& color, TextRange range) = 0;
    // Called after every finished edit of the text storage (the user's or setString's).
    virtual void setEditedHandler(std::function<void()> handler) = 0;
};

class TextField {
public:
    virtual ~TextField() = default;
    virtual void setStringValue(const std::string& text) = 0;
    virtual void setTextColor(const Color& color) = 0;
};

class Screens {
public:
    virtual ~Screens() = default;
    // Full frames in window-system coordinates; the first is the screen whose top-left is the event origin.
    virtual std::vector<Rect> screenFrames() const = 0;
};

class KeyboardLayout {
public:
    virtual ~KeyboardLayout() = default;
    // The UTF-16 unit that the virtual key types with no modifier under the current layout, if any.
    virtual std::optional<char16_t> characterForKeyCode(std::uint16_t virtualKey) const = 0;
};

// Quoddle's own windows and the settings window's views.
struct Interface {
    PaletteWindow& palette;
    Window& settingsWindow;
    Window& startupWindow; // shown while Quoddle starts
    TextView& historyTextView;
    TextView& shortcutTextView;
    TextView& blacklistTextView;
    TextField& accessibilityStatusField;
};

} // namespace quoddle
