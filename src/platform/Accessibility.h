#pragma once
// Port: the accessibility interface to other applications' user-interface elements, in the vocabulary
// of the platform service it stands in for (elements, attributes, actions, observers, keyboard events).
//
// What every backend keeps:
// - One handle per element. The core compares handles (a menu registered on open is the menu that later
//   reports its highlight), so while a handle lives, every call that yields the same element yields that
//   same handle, whatever path led to it (children, parent, hit test, a notification's element).
// - Roles, attributes, notifications and actions are named as the core names them ("AXMenuBar",
//   "AXSelectedTextChanged", "AXPress"); a backend translates its platform's vocabulary completely.
// - Hit tests over Quoddle's own windows are answered in-process, with elements of this process: the
//   backend never asks the platform's accessibility service about its own process from the main loop.
// - Every call is bounded in time: an application that stops answering costs at most a short time-out and
//   an absent result, never a frozen main loop.
// - Threads: every call is made on the main loop, and observer callbacks arrive there, never from inside
//   another port call.

#include "platform/Workspace.h"

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace quoddle {

// Error codes as the accessibility service reports them.
using AXError = std::int32_t;
inline constexpr AXError kAXErrorSuccess = 0;
inline constexpr AXError kAXErrorFailure = -25200;
inline constexpr AXError kAXErrorIllegalArgument = -25201;
inline constexpr AXError kAXErrorInvalidUIElement = -25202;
inline constexpr AXError kAXErrorCannotComplete = -25204;
inline constexpr AXError kAXErrorAttributeUnsupported = -25205;
inline constexpr AXError kAXErrorActionUnsupported = -25206;
inline constexpr AXError kAXErrorNotificationUnsupported = -25207;
inline constexpr AXError kAXErrorNotImplemented = -25208;
inline constexpr AXError kAXErrorAPIDisabled = -25211;
inline constexpr AXError kAXErrorNoValue = -25212;

// An element of another application. Backends derive their own element type from it; the handle owns it.
class AXUIElementData {
public:
    virtual ~AXUIElementData() = default;
};
using AXUIElementRef = std::shared_ptr<const AXUIElementData>;

// The four accessibility value kinds, with the platform's type codes.
enum class AXValueType : int { illegal = 0, cgPoint = 1, cgSize = 2, cgRect = 3, cfRange = 4 };
struct AXPointValue {
    double x = 0, y = 0;
};
struct AXSizeValue {
    double width = 0, height = 0;
};
struct AXRectValue {
    double x = 0, y = 0, width = 0, height = 0;
};
struct AXRangeValue {
    long location = 0, length = 0;
};
// A value the core can only describe, such as a selected text-marker range.
struct AXOpaqueValue {
    std::string description;
};

class AXAttributeValue;
using AXArray = std::vector<AXAttributeValue>;

// What an attribute can hold.
class AXAttributeValue {
public:
    using Storage = std::variant<std::string, std::int64_t, double, bool, AXUIElementRef, AXArray,
                                 AXPointValue, AXSizeValue, AXRectValue, AXRangeValue, AXOpaqueValue>;
    AXAttributeValue() = default;
    template <typename T>
    requires std::is_constructible_v<Storage, T&&> &&
        (!std::is_same_v<std::decay_t<T>, AXAttributeValue>)AXAttributeValue(T&& value)
        : storage_(std::forward<T>(value)) {}
    AXAttributeValue(const char* text) : storage_(std::string(text)) {}
    AXAttributeValue(int number) : storage_(std::int64_t{number}) {}

    template <typename T> bool is() const { return std::holds_alternative<T>(storage_); }
    template <typename T> const T* get() const { return std::get_if<T>(&storage_); }
    const Storage& storage() const { return storage_; }
    // The kind of accessibility value this is; illegal when it is none of the four.
    AXValueType axValueType() const;

private:
    Storage storage_;
};

template <typename T> struct AXResult {
    AXError error = kAXErrorFailure;
    T value{};
    explicit operator bool() const { return error == kAXErrorSuccess; }
};

class AXObserver;
using AXObserverRef = std::shared_ptr<AXObserver>;
// The plain callback every observer calls on the main thread.
using AXObserverCallback = void (*)(const AXObserverRef& observer, const AXUIElementRef& element,
                                    const std::string& notification, const void* context);

class AXObserver {
public:
    virtual ~AXObserver() = default;
    virtual AXError addNotification(const AXUIElementRef& element, const std::string& notification,
                                    const void* context) = 0;
    virtual AXError removeNotification(const AXUIElementRef& element, const std::string& notification) = 0;
    // Puts the observer's source on the main run loop; callbacks arrive from then on.
    virtual void addToRunLoop() = 0;
};

class Accessibility {
public:
    virtual ~Accessibility() = default;
    virtual bool isAPIEnabled() const = 0;
    virtual AXUIElementRef createSystemWide() = 0;
    virtual AXUIElementRef createApplication(ProcessId pid) = 0;
    // Hit test in global coordinates with the origin at the top-left of the main display.
    virtual AXResult<AXUIElementRef> copyElementAtPosition(const AXUIElementRef& systemWide, float x,
                                                           float y) = 0;
    virtual AXResult<AXAttributeValue> copyAttributeValue(const AXUIElementRef& element,
                                                          const std::string& attribute) = 0;
    virtual AXResult<std::vector<std::string>> copyAttributeNames(const AXUIElementRef& element) = 0;
    virtual AXResult<std::vector<std::string>> copyActionNames(const AXUIElementRef& element) = 0;
    virtual AXError performAction(const AXUIElementRef& element, const std::string& action) = 0;
    virtual AXResult<ProcessId> getPid(const AXUIElementRef& element) = 0;
    // Posts one key press or release to the application of the element.
    virtual AXError postKeyboardEvent(const AXUIElementRef& application, char16_t character,
                                      std::uint16_t virtualKey, bool keyDown) = 0;
    virtual AXResult<AXObserverRef> createObserver(ProcessId pid, AXObserverCallback callback) = 0;
};

} // namespace quoddle
