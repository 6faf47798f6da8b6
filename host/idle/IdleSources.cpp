#include "host/idle/IdleSources.h"

#include "ext-idle-notify-v1-client-protocol.h"
#include "idle-client-protocol.h"

#include <gio/gio.h>
#include <glib-unix.h>
#include <wayland-client.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <poll.h>

struct SWaylandCallbacks
{
    static void Global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
    {
        auto* self = static_cast<CWaylandIdle*>(data);
        if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0 && !self->m_pNotifier)
            self->m_pNotifier = static_cast<ext_idle_notifier_v1*>(
                wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
        else if (std::strcmp(interface, org_kde_kwin_idle_interface.name) == 0 && !self->m_pKdeIdle)
            self->m_pKdeIdle =
                static_cast<org_kde_kwin_idle*>(wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
        else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->m_pSeat)
            self->m_pSeat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    }
    static void GlobalRemove(void*, wl_registry*, uint32_t) {}

    static void Idle(void* data) { static_cast<CWaylandIdle*>(data)->m_Handlers.m_OnIdle(); }
    static void Active(void* data) { static_cast<CWaylandIdle*>(data)->m_Handlers.m_OnActive(); }
    static void ExtIdled(void* data, ext_idle_notification_v1*) { Idle(data); }
    static void ExtResumed(void* data, ext_idle_notification_v1*) { Active(data); }
    static void KdeIdle(void* data, org_kde_kwin_idle_timeout*) { Idle(data); }
    static void KdeResumed(void* data, org_kde_kwin_idle_timeout*) { Active(data); }

    static gboolean Readable(gint, GIOCondition condition, gpointer data)
    {
        auto* self = static_cast<CWaylandIdle*>(data);
        if ((condition & (G_IO_HUP | G_IO_ERR)) || wl_display_dispatch(self->m_pDisplay) < 0) {
            self->m_nSource = 0;
            self->_Lost();
            return G_SOURCE_REMOVE;
        }
        wl_display_flush(self->m_pDisplay);
        return G_SOURCE_CONTINUE;
    }
};

namespace {

const wl_registry_listener RegistryListener = {SWaylandCallbacks::Global, SWaylandCallbacks::GlobalRemove};
const ext_idle_notification_v1_listener ExtListener = {SWaylandCallbacks::ExtIdled, SWaylandCallbacks::ExtResumed};
const org_kde_kwin_idle_timeout_listener KdeListener = {SWaylandCallbacks::KdeIdle, SWaylandCallbacks::KdeResumed};

} // namespace

CWaylandIdle::~CWaylandIdle()
{
    if (m_nSource)
        g_source_remove(m_nSource);
    if (m_pNotification)
        ext_idle_notification_v1_destroy(m_pNotification);
    if (m_pNotifier)
        ext_idle_notifier_v1_destroy(m_pNotifier);
    if (m_pKdeTimeout)
        org_kde_kwin_idle_timeout_release(m_pKdeTimeout);
    if (m_pKdeIdle)
        org_kde_kwin_idle_destroy(m_pKdeIdle);
    if (m_pSeat)
        wl_seat_destroy(m_pSeat);
    if (m_pRegistry)
        wl_registry_destroy(m_pRegistry);
    if (m_pDisplay)
        wl_display_disconnect(m_pDisplay);
}

bool CWaylandIdle::Connect(std::string& error)
{
    // libwayland's own messages would make a second line beside ours.
    wl_log_set_handler_client([](const char*, va_list) {});
    m_pDisplay = wl_display_connect(nullptr);
    if (!m_pDisplay) {
        const char* name = std::getenv("WAYLAND_DISPLAY");
        error = name && *name ? "--idle needs a Wayland compositor, and none answers at '" + std::string(name) + "'"
                              : std::string("--idle needs a Wayland compositor, and WAYLAND_DISPLAY is not set");
        return false;
    }
    m_pRegistry = wl_display_get_registry(m_pDisplay);
    wl_registry_add_listener(m_pRegistry, &RegistryListener, this);
    if (wl_display_roundtrip(m_pDisplay) < 0) {
        error = "lost the Wayland compositor";
        return false;
    }
    return true;
}

const char* CWaylandIdle::Protocol() const
{
    if (!m_pSeat)
        return nullptr;
    if (m_pNotifier)
        return ext_idle_notifier_v1_interface.name;
    if (m_pKdeIdle)
        return org_kde_kwin_idle_interface.name;
    return nullptr;
}

void CWaylandIdle::Watch(unsigned timeoutMs, const SIdleHandlers& handlers)
{
    m_Handlers = handlers;
    if (m_pSeat && m_pNotifier) {
        m_pNotification = ext_idle_notifier_v1_get_idle_notification(m_pNotifier, timeoutMs, m_pSeat);
        ext_idle_notification_v1_add_listener(m_pNotification, &ExtListener, this);
    } else if (m_pSeat && m_pKdeIdle) {
        m_pKdeTimeout = org_kde_kwin_idle_get_idle_timeout(m_pKdeIdle, m_pSeat, timeoutMs);
        org_kde_kwin_idle_timeout_add_listener(m_pKdeTimeout, &KdeListener, this);
    }
    wl_display_flush(m_pDisplay);
    m_nSource = g_unix_fd_add(wl_display_get_fd(m_pDisplay), static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                              SWaylandCallbacks::Readable, this);
}

bool CWaylandIdle::Answers(int timeoutMs)
{
    wl_callback* sync = wl_display_sync(m_pDisplay);
    bool alive = wl_display_flush(m_pDisplay) >= 0;
    pollfd fd = {wl_display_get_fd(m_pDisplay), POLLIN, 0};
    // A compositor too slow to answer is not called gone.
    if (alive && poll(&fd, 1, timeoutMs) > 0)
        alive = wl_display_dispatch(m_pDisplay) >= 0;
    if (sync)
        wl_callback_destroy(sync);
    return alive;
}

void CWaylandIdle::_Lost()
{
    m_Handlers.m_OnLost("lost the Wayland compositor");
}

namespace {

constexpr const char* MutterName = "org.gnome.Mutter.IdleMonitor";
constexpr const char* MutterPath = "/org/gnome/Mutter/IdleMonitor/Core";
constexpr const char* MutterInterface = "org.gnome.Mutter.IdleMonitor";
constexpr int CallTimeoutMs = 5000;

// The watch id a call to the idle monitor returned; 0 with the reason.
unsigned AddWatch(GDBusConnection* bus, const char* method, GVariant* arguments, std::string& error)
{
    GError* failure = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(bus, MutterName, MutterPath, MutterInterface, method, arguments,
                                                  G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, CallTimeoutMs,
                                                  nullptr, &failure);
    if (!reply) {
        error = failure->message;
        g_error_free(failure);
        return 0;
    }
    guint32 id = 0;
    g_variant_get(reply, "(u)", &id);
    g_variant_unref(reply);
    if (id == 0)
        error = std::string(method) + " gave no watch";
    return id;
}

// Milliseconds since the last input; 0 with the reason when the call failed.
guint64 IdleTime(GDBusConnection* bus, std::string& error)
{
    GError* failure = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(bus, MutterName, MutterPath, MutterInterface, "GetIdletime", nullptr,
                                                  G_VARIANT_TYPE("(t)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, CallTimeoutMs,
                                                  nullptr, &failure);
    if (!reply) {
        error = failure->message;
        g_error_free(failure);
        return 0;
    }
    guint64 ms = 0;
    g_variant_get(reply, "(t)", &ms);
    g_variant_unref(reply);
    return ms;
}

void RemoveWatch(GDBusConnection* bus, unsigned id)
{
    g_dbus_connection_call(bus, MutterName, MutterPath, MutterInterface, "RemoveWatch", g_variant_new("(u)", id),
                           nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, CallTimeoutMs, nullptr, nullptr, nullptr);
}

} // namespace

struct SMutterCallbacks
{
    static void Fired(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
                      gpointer data)
    {
        if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(u)")))
            return;
        guint32 id = 0;
        g_variant_get(parameters, "(u)", &id);
        static_cast<CMutterIdle*>(data)->_Fired(id);
    }
    static void Closed(GDBusConnection*, gboolean, GError*, gpointer data)
    {
        static_cast<CMutterIdle*>(data)->m_Handlers.m_OnLost("lost the session bus");
    }
    static void Vanished(GDBusConnection*, const gchar*, gpointer data)
    {
        static_cast<CMutterIdle*>(data)->m_Handlers.m_OnLost(std::string("lost ") + MutterName);
    }
};

CMutterIdle::~CMutterIdle()
{
    if (!m_pBus)
        return;
    if (m_nNameWatch)
        g_bus_unwatch_name(m_nNameWatch);
    if (m_nClosedHandler)
        g_signal_handler_disconnect(m_pBus, m_nClosedHandler);
    if (m_nSubscription)
        g_dbus_connection_signal_unsubscribe(m_pBus, m_nSubscription);
    g_object_unref(m_pBus);
}

bool CMutterIdle::Watch(unsigned timeoutMs, const SIdleHandlers& handlers, std::string& error)
{
    m_Handlers = handlers;
    m_nTimeoutMs = timeoutMs;
    GError* failure = nullptr;
    m_pBus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &failure);
    if (!m_pBus) {
        error = std::string("no session bus: ") + failure->message;
        g_error_free(failure);
        return false;
    }
    g_dbus_connection_set_exit_on_close(m_pBus, FALSE);
    // Subscribed before the watch exists, so no firing can come unheard.
    m_nSubscription =
        g_dbus_connection_signal_subscribe(m_pBus, MutterName, MutterInterface, "WatchFired", MutterPath, nullptr,
                                           G_DBUS_SIGNAL_FLAGS_NONE, SMutterCallbacks::Fired, this, nullptr);
    m_nIdleWatch = AddWatch(m_pBus, "AddIdleWatch", g_variant_new("(t)", guint64{timeoutMs}), error);
    if (!m_nIdleWatch)
        return false;
    m_nClosedHandler = g_signal_connect(m_pBus, "closed", G_CALLBACK(SMutterCallbacks::Closed), this);
    m_nNameWatch = g_bus_watch_name_on_connection(m_pBus, MutterName, G_BUS_NAME_WATCHER_FLAGS_NONE, nullptr,
                                                  SMutterCallbacks::Vanished, this, nullptr);
    return true;
}

void CMutterIdle::_Fired(unsigned id)
{
    if (id == m_nIdleWatch) {
        // A user-active watch fires once, at the first input after it was
        // added, so input between the idle watch firing and mutter taking
        // this one would go unseen: the idle time tells of it, as it starts
        // again from that input.
        std::string error;
        m_nActiveWatch = AddWatch(m_pBus, "AddUserActiveWatch", nullptr, error);
        const guint64 idleMs = m_nActiveWatch ? IdleTime(m_pBus, error) : 0;
        if (!m_nActiveWatch || !error.empty()) {
            m_Handlers.m_OnLost(std::string(MutterName) + " stopped answering: " + error);
            return;
        }
        if (idleMs < m_nTimeoutMs) {
            RemoveWatch(m_pBus, m_nActiveWatch); // back before the saver came: the idle watch fires again
            m_nActiveWatch = 0;
            return;
        }
        m_Handlers.m_OnIdle();
    } else if (id != 0 && id == m_nActiveWatch) {
        m_nActiveWatch = 0;
        m_Handlers.m_OnActive();
    }
}
