#include "NotificationServer.h"

#include <gio/gio.h>
#include <glib.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace quoddle::desktop {

namespace {

constexpr const char* kName = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";

constexpr const char* kIntrospection = R"(
<node>
  <interface name="org.freedesktop.Notifications">
    <method name="Notify">
      <arg type="s" name="app_name" direction="in"/>
      <arg type="u" name="replaces_id" direction="in"/>
      <arg type="s" name="app_icon" direction="in"/>
      <arg type="s" name="summary" direction="in"/>
      <arg type="s" name="body" direction="in"/>
      <arg type="as" name="actions" direction="in"/>
      <arg type="a{sv}" name="hints" direction="in"/>
      <arg type="i" name="expire_timeout" direction="in"/>
      <arg type="u" name="id" direction="out"/>
    </method>
    <method name="CloseNotification">
      <arg type="u" name="id" direction="in"/>
    </method>
    <method name="GetCapabilities">
      <arg type="as" name="capabilities" direction="out"/>
    </method>
    <method name="GetServerInformation">
      <arg type="s" name="name" direction="out"/>
      <arg type="s" name="vendor" direction="out"/>
      <arg type="s" name="version" direction="out"/>
      <arg type="s" name="protocol_version" direction="out"/>
    </method>
    <signal name="NotificationClosed">
      <arg type="u" name="id"/>
      <arg type="u" name="reason"/>
    </signal>
    <signal name="ActionInvoked">
      <arg type="u" name="id"/>
      <arg type="s" name="action_key"/>
    </signal>
  </interface>
</node>
)";

} // namespace

struct NotificationServer::Shared {
    GMainContext* context = g_main_context_new();
    std::atomic<bool> stopping{false};

    mutable std::mutex mutex;
    std::condition_variable changed;
    bool owned = false;
    bool gaveUp = false; // no bus, or the name went to someone else
    std::string problem;
    std::vector<Notification> notifications;
    std::size_t returned = 0;
    std::uint32_t lastId = 0;

    ~Shared() { g_main_context_unref(context); }

    void fail(const std::string& why) {
        std::lock_guard lock(mutex);
        gaveUp = true;
        problem = why;
        changed.notify_all();
    }

    void serve();
};

namespace {

using Shared = NotificationServer::Shared;

void methodCalled(GDBusConnection* connection, const gchar*, const gchar*, const gchar*, const gchar* method,
                  GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
    auto* shared = static_cast<Shared*>(data);
    const std::string name = method;
    if (name == "Notify") {
        NotificationServer::Notification notification;
        const gchar* appName = nullptr;
        const gchar* appIcon = nullptr;
        const gchar* summary = nullptr;
        const gchar* body = nullptr;
        GVariantIter* actions = nullptr;
        GVariant* hints = nullptr;
        g_variant_get(parameters, "(&su&s&s&sas@a{sv}i)", &appName, &notification.replacesId, &appIcon,
                      &summary, &body, &actions, &hints, &notification.expireTimeout);
        notification.appName = appName;
        notification.appIcon = appIcon;
        notification.summary = summary;
        notification.body = body;
        const gchar* action = nullptr;
        while (g_variant_iter_next(actions, "&s", &action))
            notification.actions.emplace_back(action);
        g_variant_iter_free(actions);
        g_variant_unref(hints);
        std::uint32_t id = 0;
        {
            std::lock_guard lock(shared->mutex);
            id = notification.replacesId != 0 ? notification.replacesId : ++shared->lastId;
            notification.id = id;
            shared->notifications.push_back(std::move(notification));
            shared->changed.notify_all();
        }
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", id));
    } else if (name == "CloseNotification") {
        guint32 id = 0;
        g_variant_get(parameters, "(u)", &id);
        // Reason 3: closed by a call to CloseNotification.
        g_dbus_connection_emit_signal(connection, nullptr, kPath, kInterface, "NotificationClosed",
                                      g_variant_new("(uu)", id, 3u), nullptr);
        g_dbus_method_invocation_return_value(invocation, nullptr);
    } else if (name == "GetCapabilities") {
        const gchar* capabilities[] = {"body", nullptr};
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(^as)", capabilities));
    } else if (name == "GetServerInformation") {
        g_dbus_method_invocation_return_value(invocation,
                                              g_variant_new("(ssss)", "quoddle-test", "quoddle", "1", "1.2"));
    } else {
        g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD,
                                              "no method %s", method);
    }
}

void nameAcquired(GDBusConnection*, const gchar*, gpointer data) {
    auto* shared = static_cast<Shared*>(data);
    std::lock_guard lock(shared->mutex);
    shared->owned = true;
    shared->changed.notify_all();
}

void nameLost(GDBusConnection* connection, const gchar*, gpointer data) {
    auto* shared = static_cast<Shared*>(data);
    std::lock_guard lock(shared->mutex);
    const bool had = shared->owned;
    shared->owned = false;
    // Lost before it was ever owned: another server holds the name and does not let it go.
    if (!had || !connection) {
        shared->gaveUp = true;
        shared->problem =
            connection ? "another notification server owns the name" : "lost the bus connection";
    }
    shared->changed.notify_all();
}

std::string takeMessage(GError* error) {
    std::string message = error && error->message ? error->message : "unknown error";
    if (error) g_error_free(error);
    return message;
}

} // namespace

void NotificationServer::Shared::serve() {
    g_main_context_push_thread_default(context);
    GError* error = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    GDBusConnection* connection = nullptr;
    if (address) {
        // A connection of its own: the process's shared one would dispatch on whichever context made it.
        connection = g_dbus_connection_new_for_address_sync(
            address,
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        g_free(address);
    }
    GDBusNodeInfo* node = nullptr;
    guint registration = 0;
    guint ownership = 0;
    if (!connection) {
        fail("no session bus: " + takeMessage(error));
    } else {
        node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
        static const GDBusInterfaceVTable vtable = {methodCalled, nullptr, nullptr, {}};
        registration = g_dbus_connection_register_object(connection, kPath, node->interfaces[0], &vtable,
                                                         this, nullptr, &error);
        if (registration == 0) {
            fail("cannot register " + std::string(kPath) + ": " + takeMessage(error));
        } else {
            // Replaces a server that allows it; none may replace this one while a test relies on it.
            ownership = g_bus_own_name_on_connection(connection, kName, G_BUS_NAME_OWNER_FLAGS_REPLACE,
                                                     nameAcquired, nameLost, this, nullptr);
        }
    }

    while (!stopping.load())
        g_main_context_iteration(context, TRUE);

    // Synchronous: the name is free when this returns.
    if (ownership != 0) g_bus_unown_name(ownership);
    if (registration != 0) g_dbus_connection_unregister_object(connection, registration);
    if (connection) {
        g_dbus_connection_close_sync(connection, nullptr, nullptr);
        g_object_unref(connection);
    }
    if (node) g_dbus_node_info_unref(node);
    // Whatever the connection still had queued for this context goes with it.
    while (g_main_context_iteration(context, FALSE)) {
    }
    g_main_context_pop_thread_default(context);
}

NotificationServer::NotificationServer() : shared_(std::make_shared<Shared>()) {
    thread_ = std::thread([shared = shared_] { shared->serve(); });
}

NotificationServer::~NotificationServer() {
    shared_->stopping = true;
    g_main_context_wakeup(shared_->context);
    thread_.join();
}

bool NotificationServer::waitUntilOwned(std::chrono::milliseconds timeout) {
    std::unique_lock lock(shared_->mutex);
    shared_->changed.wait_for(lock, timeout, [this] { return shared_->owned || shared_->gaveUp; });
    return shared_->owned;
}

std::optional<NotificationServer::Notification>
NotificationServer::waitForNotification(std::chrono::milliseconds timeout) {
    std::unique_lock lock(shared_->mutex);
    if (!shared_->changed.wait_for(lock, timeout,
                                   [this] { return shared_->notifications.size() > shared_->returned; }))
        return std::nullopt;
    return shared_->notifications[shared_->returned++];
}

std::vector<NotificationServer::Notification> NotificationServer::received() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->notifications;
}

std::string NotificationServer::problem() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->problem;
}

} // namespace quoddle::desktop
