#include "platform/linux/wayland/GnomeShellHelper.h"

#include "platform/linux/GObjectHandles.h"

#include <gio/gio.h>

#include <memory>

namespace quoddle {

namespace {

struct VariantDeleter {
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};
using Variant = std::unique_ptr<GVariant, VariantDeleter>;

// The reply, checked to be of the type given: none for an error, a timeout or another shape.
Variant ask(const char* method, GVariant* parameters, const char* replyType,
            std::chrono::milliseconds deadline) {
    GErrorSlot error;
    // The bus connection is GLib's shared one, made once.
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, error.out());
    if (!bus) {
        if (parameters) g_variant_unref(g_variant_ref_sink(parameters));
        return nullptr;
    }
    Variant reply(g_dbus_connection_call_sync(bus, "org.quoddle.ShellHelper", "/org/quoddle/ShellHelper",
                                              "org.quoddle.ShellHelper", method, parameters,
                                              G_VARIANT_TYPE(replyType), G_DBUS_CALL_FLAGS_NO_AUTO_START,
                                              static_cast<int>(deadline.count()), nullptr, error.out()));
    g_object_unref(bus);
    return reply;
}

} // namespace

std::optional<PointerReading> GnomeShellHelper::pointer() const {
    Variant reply = ask("Pointer", nullptr, "(iib)", deadline_);
    if (!reply) return std::nullopt;
    gint32 x = 0, y = 0;
    gboolean down = FALSE;
    g_variant_get(reply.get(), "(iib)", &x, &y, &down);
    return PointerReading{{double(x), double(y)}, down != FALSE};
}

std::optional<Point> GnomeShellHelper::windowOrigin(ProcessId pid) const {
    if (pid <= 0) return std::nullopt;
    Variant reply = ask("WindowOrigin", g_variant_new("(u)", guint32(pid)), "(bii)", deadline_);
    if (!reply) return std::nullopt;
    gboolean found = FALSE;
    gint32 x = 0, y = 0;
    g_variant_get(reply.get(), "(bii)", &found, &x, &y);
    if (!found) return std::nullopt;
    return Point{double(x), double(y)};
}

std::optional<std::string> GnomeShellHelper::turnOnExtension() {
    GErrorSlot error;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, error.out());
    if (!bus) return std::string("there is no session bus");
    // Turning an extension on may take the Shell a while (it loads and starts it).
    Variant reply(g_dbus_connection_call_sync(bus, "org.gnome.Shell", "/org/gnome/Shell",
                                              "org.gnome.Shell.Extensions", "EnableExtension",
                                              g_variant_new("(s)", kExtension), G_VARIANT_TYPE("(b)"),
                                              G_DBUS_CALL_FLAGS_NO_AUTO_START, 5000, nullptr, error.out()));
    g_object_unref(bus);
    if (!reply)
        return std::string("GNOME Shell did not answer: ") + (error ? error.get()->message : "no reason");
    gboolean turnedOn = FALSE;
    g_variant_get(reply.get(), "(b)", &turnedOn);
    if (!turnedOn)
        return std::string(
            "GNOME Shell has not found Quoddle's extension yet: log out and in again (it looks for "
            "extensions as the session starts), then turn it on here");
    return std::nullopt;
}

} // namespace quoddle
