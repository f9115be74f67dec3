#pragma once
// Port: the accessibility interface to other applications' user-interface elements: elements, their
// attributes and actions, observers of their notifications, and keys posted to an application.
//
// What every backend keeps:
// - One handle per element. The core compares handles (a menu registered on open is the menu that later
//   reports its highlight), so while a handle lives, every call that yields the same element yields that
//   same handle, whatever path led to it (children, parent, hit test, a notification's element).
// - Roles, attributes, actions and notifications are the enumerations below; a backend translates its
//   platform's vocabulary completely, in one table each.
// - Hit tests over Quoddle's own windows are answered in-process, with elements of this process: the
//   backend never asks the platform's accessibility service about its own process from the main loop.
// - Every call is bounded in time: an application that stops answering costs at most a short time-out and
//   an absent result, never a frozen main loop.
// - Threads: every call is made on the main loop, and observer callbacks arrive there, never from inside
//   another port call.

#include "platform/Workspace.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quoddle::ax {

// Error codes, numbered as the accessibility service of the original platform numbers them (they appear in
// log lines).
enum class Error : std::int32_t {
    success = 0,
    failure = -25200,
    illegalArgument = -25201,
    invalidElement = -25202,
    cannotComplete = -25204,
    attributeUnsupported = -25205,
    actionUnsupported = -25206,
    notificationUnsupported = -25207,
    notImplemented = -25208,
    apiDisabled = -25211,
    noValue = -25212,
};

enum class Role {
    unknown,
    systemWide,
    application,
    window,
    sheet,
    menuBar,
    menuBarItem,
    menu,
    menuItem,
    button,
    menuButton,
    checkBox,
    radioButton,
    link,
    tabGroup,
    table,
    outline,
    row,
    cell,
    list,
    group,
    scrollArea,
    scrollBar,
    slider,
    progressIndicator,
    levelIndicator,
    splitGroup,
    splitter,
    toolbar,
    helpTag,
    ruler,
    dateField,
    timeField,
    webArea,
    textArea,
    // A terminal's text: keys that are editing shortcuts elsewhere are signals to the program running there.
    terminal,
    textField,
    comboBox,
    staticText,
    heading,
    image,
};

enum class Attribute {
    role,
    title,
    description,
    children,
    parent,
    position,
    size,
    focused,
    enabled,
    focusedElement,
    selectedChildren,
    selectedTextRange,
    selectedTextMarkerRange,
};

enum class Action { press, cancel, showMenu };

enum class Notification {
    selectedTextChanged,
    menuItemSelected,
    menuOpened,
    menuClosed,
    selectedChildrenChanged
};

// The names the original platform gives these, for descriptions and logs.
std::string_view nameOf(Role role);
std::string_view nameOf(Attribute attribute);
std::string_view nameOf(Action action);
std::string_view nameOf(Notification notification);

// An element of another application. Backends derive their own element type from it; the handle owns it.
class Element {
public:
    virtual ~Element() = default;
};
using ElementRef = std::shared_ptr<const Element>;

struct PointValue {
    double x = 0, y = 0;
};
struct SizeValue {
    double width = 0, height = 0;
};
struct RectValue {
    double x = 0, y = 0, width = 0, height = 0;
};
struct RangeValue {
    long location = 0, length = 0;
};
// A value the core can only describe, such as a selected text-marker range.
struct OpaqueValue {
    std::string description;
};

class Value;
using Array = std::vector<Value>;

// What an attribute can hold.
class Value {
public:
    using Storage = std::variant<std::string, std::int64_t, double, bool, Role, ElementRef, Array, PointValue,
                                 SizeValue, RectValue, RangeValue, OpaqueValue>;
    Value() = default;
    template <typename T>
    requires std::is_constructible_v<Storage, T&&> &&(!std::is_same_v<std::decay_t<T>, Value>)Value(T&& value)
        : storage_(std::forward<T>(value)) {}
    Value(const char* text) : storage_(std::string(text)) {}
    Value(int number) : storage_(std::int64_t{number}) {}

    template <typename T> bool is() const { return std::holds_alternative<T>(storage_); }
    template <typename T> const T* get() const { return std::get_if<T>(&storage_); }
    const Storage& storage() const { return storage_; }
    // A point, size, rectangle or range: the geometric values that have a short description of their own.
    bool isGeometric() const {
        return is<PointValue>() || is<SizeValue>() || is<RectValue>() || is<RangeValue>();
    }

private:
    Storage storage_;
};

template <typename T> struct Result {
    Error error = Error::failure;
    T value{};
    explicit operator bool() const { return error == Error::success; }
};

class Observer;
using ObserverRef = std::shared_ptr<Observer>;
// The plain callback every observer calls on the main loop, with the context given at registration.
using ObserverCallback = void (*)(const ObserverRef& observer, const ElementRef& element,
                                  Notification notification, void* context);

class Observer {
public:
    virtual ~Observer() = default;
    virtual Error addNotification(const ElementRef& element, Notification notification, void* context) = 0;
    virtual Error removeNotification(const ElementRef& element, Notification notification) = 0;
    // Puts the observer's source on the main run loop; callbacks arrive from then on.
    virtual void addToRunLoop() = 0;
};

} // namespace quoddle::ax

namespace quoddle {

// The modifier keys a key stroke holds, by the virtual key codes of the original platform's keyboard.
inline constexpr std::uint16_t kCommandKeyCode = 55;
inline constexpr std::uint16_t kShiftKeyCode = 56;
inline constexpr std::uint16_t kOptionKeyCode = 58;
inline constexpr std::uint16_t kControlKeyCode = 59;

// One key stroke: the modifiers go down in order, the key (if any) goes down and up, and the modifiers come
// up again in the same order.
struct KeyStroke {
    std::vector<std::uint16_t> modifiers;
    std::optional<std::uint16_t> key;
};

class Accessibility {
public:
    virtual ~Accessibility() = default;
    virtual bool isEnabled() const = 0;
    virtual ax::ElementRef systemWideElement() = 0;
    virtual ax::ElementRef applicationElement(ProcessId pid) = 0;
    // Hit test in global coordinates with the origin at the top-left of the main display.
    virtual ax::Result<ax::ElementRef> elementAt(const ax::ElementRef& systemWide, float x, float y) = 0;
    virtual ax::Result<ax::Value> attribute(const ax::ElementRef& element, ax::Attribute attribute) = 0;
    virtual ax::Result<std::vector<ax::Attribute>> attributeNames(const ax::ElementRef& element) = 0;
    virtual ax::Result<std::vector<ax::Action>> actionNames(const ax::ElementRef& element) = 0;
    virtual ax::Error perform(const ax::ElementRef& element, ax::Action action) = 0;
    virtual ax::Result<ProcessId> pid(const ax::ElementRef& element) = 0;
    // Posts the key stroke to the application of the element (its focused window).
    virtual ax::Error postKeyStroke(const ax::ElementRef& application, const KeyStroke& stroke) = 0;
    virtual ax::Result<ax::ObserverRef> createObserver(ProcessId pid, ax::ObserverCallback callback) = 0;
};

} // namespace quoddle
