#include "platform/linux/atspi/AccessibilityStatus.h"

#include "platform/linux/GObjectHandles.h"

#include <gio/gio.h>

namespace quoddle {

namespace {

constexpr int kCallTimeoutMs = 500;

GRef<GDBusConnection> sessionBus(GErrorSlot& error) {
    return GRef<GDBusConnection>::adopt(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, error.out()));
}

} // namespace

bool accessibilityIsEnabled() {
    GErrorSlot error;
    GRef<GDBusConnection> bus = sessionBus(error);
    if (!bus) return false;
    GVariant* reply = g_dbus_connection_call_sync(
        bus.get(), "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE,
        kCallTimeoutMs, nullptr, error.out());
    if (!reply) return false;
    GVariant* boxed = nullptr;
    g_variant_get(reply, "(v)", &boxed);
    const bool enabled =
        boxed && g_variant_is_of_type(boxed, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(boxed);
    if (boxed) g_variant_unref(boxed);
    g_variant_unref(reply);
    return enabled;
}

bool enableAccessibility(std::string* reason) {
    GErrorSlot error;
    GRef<GDBusConnection> bus = sessionBus(error);
    GVariant* reply = nullptr;
    if (bus)
        reply = g_dbus_connection_call_sync(
            bus.get(), "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
            g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(TRUE)), nullptr,
            G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, error.out());
    if (!reply) {
        if (reason) *reason = error ? error.get()->message : "no session bus";
        return false;
    }
    g_variant_unref(reply);
    return true;
}

} // namespace quoddle
