#pragma once
// Owners for the GLib and AT-SPI resources the backend receives, so nothing is freed by hand on each path.

#include "platform/linux/GLibHandles.h"

#include <glib-object.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace quoddle {

// A strong reference to a GObject (an AtspiAccessible, an interface proxy, a listener).
template <typename T> class GRef {
public:
    GRef() = default;
    // Takes over a reference the caller was given (transfer full).
    static GRef adopt(T* object) {
        GRef ref;
        ref.object_ = object;
        return ref;
    }
    // Adds a reference of its own (transfer none).
    static GRef retain(T* object) { return adopt(object ? static_cast<T*>(g_object_ref(object)) : nullptr); }
    GRef(const GRef& other)
        : object_(other.object_ ? static_cast<T*>(g_object_ref(other.object_)) : nullptr) {}
    GRef(GRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    GRef& operator=(GRef other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~GRef() {
        if (object_) g_object_unref(object_);
    }
    T* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    T* object_ = nullptr;
};

// A GError out-parameter that is cleared when it goes.
class GErrorSlot {
public:
    GErrorSlot() = default;
    GErrorSlot(const GErrorSlot&) = delete;
    GErrorSlot& operator=(const GErrorSlot&) = delete;
    ~GErrorSlot() { g_clear_error(&error_); }
    GError** out() {
        g_clear_error(&error_);
        return &error_;
    }
    const GError* get() const { return error_; }
    explicit operator bool() const { return error_ != nullptr; }

private:
    GError* error_ = nullptr;
};

} // namespace quoddle
