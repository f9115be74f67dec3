#include "platform/linux/services/DesktopNotifications.h"

#include <gio/gio.h>
#include <glib.h>

#include <memory>

namespace quoddle {

namespace {

constexpr int kCallTimeoutMs = 2000;

// D-Bus strings must be valid UTF-8 without NUL, and a service's output may be anything.
std::string validText(const std::string& text) {
    std::string withoutNul;
    withoutNul.reserve(text.size());
    for (char c : text) {
        if (c == '\0')
            withoutNul += "\xEF\xBF\xBD"; // U+FFFD
        else
            withoutNul += c;
    }
    if (g_utf8_validate(withoutNul.data(), static_cast<gssize>(withoutNul.size()), nullptr))
        return withoutNul;
    gchar* valid = g_utf8_make_valid(withoutNul.data(), static_cast<gssize>(withoutNul.size()));
    std::string result(valid);
    g_free(valid);
    return result;
}

struct Request {
    std::string summary;
    std::string body;
    std::function<void(const std::string&)> failed;

    void fail(GError* error) {
        if (!failed) return;
        g_dbus_error_strip_remote_error(error);
        failed(error->message && *error->message ? std::string(error->message)
                                                 : std::string("unknown error"));
    }
};

void notified(GObject* source, GAsyncResult* asyncResult, gpointer data) {
    std::unique_ptr<Request> request(static_cast<Request*>(data));
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), asyncResult, &error);
    if (reply) {
        g_variant_unref(reply);
        return;
    }
    request->fail(error);
    g_error_free(error);
}

void busReady(GObject*, GAsyncResult* asyncResult, gpointer data) {
    std::unique_ptr<Request> request(static_cast<Request*>(data));
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_finish(asyncResult, &error);
    if (!bus) {
        request->fail(error);
        g_error_free(error);
        return;
    }
    GVariantBuilder actions;
    g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
    GVariantBuilder hints;
    g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
    GVariant* parameters =
        g_variant_new("(susssasa{sv}i)", "Quoddle", 0u, "quoddle", request->summary.c_str(),
                      request->body.c_str(), &actions, &hints, -1);
    // The text is in the message now; this copy is not needed any more.
    request->summary.clear();
    request->body.clear();
    // Auto-start allowed: the desktop's notification server may be started by D-Bus activation.
    g_dbus_connection_call(bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                           "org.freedesktop.Notifications", "Notify", parameters, G_VARIANT_TYPE("(u)"),
                           G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, notified, request.release());
    g_object_unref(bus);
}

} // namespace

void showDesktopNotification(const std::string& summary, const std::string& body,
                             std::function<void(const std::string& reason)> failed) {
    auto request = std::make_unique<Request>();
    request->summary = validText(summary);
    request->body = notificationBody(body);
    request->failed = std::move(failed);
    // GIO keeps one session connection for the process; the callbacks run on this thread's main context,
    // which is the one Qt's loop iterates.
    g_bus_get(G_BUS_TYPE_SESSION, nullptr, busReady, request.release());
}

std::string notificationBody(const std::string& text, std::size_t maxCharacters) {
    const std::string valid = validText(text);
    const char* const begin = valid.data();
    const char* const end = begin + valid.size();
    // Cut before escaping, so that the limit counts what the user sees and no entity is split.
    const char* cut = begin;
    std::size_t characters = 0;
    while (cut < end && characters < maxCharacters) {
        cut = g_utf8_next_char(cut);
        ++characters;
    }
    bool shortened = cut < end;
    if (shortened && maxCharacters > 0) {
        // One character less, for the ellipsis.
        cut = g_utf8_prev_char(cut);
    }
    std::string result;
    result.reserve(static_cast<std::size_t>(cut - begin) + 8);
    for (const char* p = begin; p < cut; ++p) {
        switch (*p) {
        case '&':
            result += "&amp;";
            break;
        case '<':
            result += "&lt;";
            break;
        case '>':
            result += "&gt;";
            break;
        default:
            result += *p;
        }
    }
    if (shortened && maxCharacters > 0) result += "\xE2\x80\xA6"; // …
    return result;
}

} // namespace quoddle
