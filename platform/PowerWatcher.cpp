#include "platform/PowerWatcher.h"

#include <gio/gio.h>

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

struct SService
{
    const char* m_Name;
    const char* m_Path;
    const char* m_Interface;
};

constexpr SService UPower = {"org.freedesktop.UPower", "/org/freedesktop/UPower", "org.freedesktop.UPower"};
// power-profiles-daemon answers under its first name and, since 0.20, under UPower's.
constexpr SService Profiles[] = {
    {"net.hadess.PowerProfiles", "/net/hadess/PowerProfiles", "net.hadess.PowerProfiles"},
    {"org.freedesktop.UPower.PowerProfiles", "/org/freedesktop/UPower/PowerProfiles",
     "org.freedesktop.UPower.PowerProfiles"},
};

} // namespace

struct CPowerWatcher::SGLib
{
    GMainContext* m_pContext = nullptr;
    GMainLoop* m_pLoop = nullptr;
    GDBusProxy* m_pUPower = nullptr;
    GDBusProxy* m_pProfiles[2] = {nullptr, nullptr};

    ~SGLib()
    {
        for (GDBusProxy* p : {m_pUPower, m_pProfiles[0], m_pProfiles[1]}) {
            if (p)
                g_object_unref(p);
        }
        if (m_pLoop)
            g_main_loop_unref(m_pLoop);
        if (m_pContext)
            g_main_context_unref(m_pContext);
    }
};

CPowerWatcher::CPowerWatcher() = default;

namespace {

// A proxy that follows the service's properties and its owner; null when the
// bus refuses. It never starts the service: a screen saver has no business
// launching daemons.
GDBusProxy* Follow(GDBusConnection* bus, const SService& service)
{
    return g_dbus_proxy_new_sync(bus, G_DBUS_PROXY_FLAGS_DO_NOT_AUTO_START, nullptr, service.m_Name, service.m_Path,
                                 service.m_Interface, nullptr, nullptr);
}

bool HasOwner(GDBusProxy* proxy)
{
    gchar* owner = proxy ? g_dbus_proxy_get_name_owner(proxy) : nullptr;
    g_free(owner);
    return owner != nullptr;
}

} // namespace

bool CPowerWatcher::Start(std::string& why)
{
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
    if (!bus) {
        why = std::string("no system bus (") + (error ? error->message : "unknown error") + ")";
        g_clear_error(&error);
        return false;
    }
    m_pGLib = std::make_unique<SGLib>();
    SGLib& g = *m_pGLib;
    g.m_pContext = g_main_context_new();
    // Proxies deliver their signals to the context that was the thread's
    // default when they were made: the watcher thread's.
    g_main_context_push_thread_default(g.m_pContext);
    g.m_pUPower = Follow(bus, UPower);
    for (int i = 0; i < 2; ++i)
        g.m_pProfiles[i] = Follow(bus, Profiles[i]);
    g_main_context_pop_thread_default(g.m_pContext);
    g_object_unref(bus);

    if (!HasOwner(g.m_pUPower) && !HasOwner(g.m_pProfiles[0]) && !HasOwner(g.m_pProfiles[1])) {
        why = "neither UPower nor power-profiles-daemon on the system bus";
        m_pGLib.reset();
        return false;
    }
    if (pipe2(m_Pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        why = std::string("cannot make a pipe: ") + std::strerror(errno);
        m_pGLib.reset();
        return false;
    }
    const auto changed =
        +[](GDBusProxy*, GVariant*, GStrv, gpointer self) { static_cast<CPowerWatcher*>(self)->_Update(); };
    const auto owner = +[](GObject*, GParamSpec*, gpointer self) { static_cast<CPowerWatcher*>(self)->_Update(); };
    for (GDBusProxy* p : {g.m_pUPower, g.m_pProfiles[0], g.m_pProfiles[1]}) {
        if (!p)
            continue;
        g_signal_connect(p, "g-properties-changed", G_CALLBACK(changed), this);
        g_signal_connect(p, "notify::g-name-owner", G_CALLBACK(owner), this);
    }
    _Update();
    g.m_pLoop = g_main_loop_new(g.m_pContext, FALSE);
    m_Thread = std::thread([&g] {
        g_main_context_push_thread_default(g.m_pContext);
        g_main_loop_run(g.m_pLoop);
        g_main_context_pop_thread_default(g.m_pContext);
    });
    return true;
}

CPowerWatcher::~CPowerWatcher()
{
    if (m_Thread.joinable()) {
        g_main_loop_quit(m_pGLib->m_pLoop);
        m_Thread.join();
    }
    m_pGLib.reset();
    for (int fd : m_Pipe) {
        if (fd >= 0)
            close(fd);
    }
}

void CPowerWatcher::_Update()
{
    SGLib& g = *m_pGLib;
    bool onBattery = false;
    if (GVariant* v = g.m_pUPower ? g_dbus_proxy_get_cached_property(g.m_pUPower, "OnBattery") : nullptr) {
        onBattery = g_variant_is_of_type(v, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(v);
        g_variant_unref(v);
    }
    bool saver = false;
    for (GDBusProxy* p : g.m_pProfiles) {
        if (GVariant* v = p ? g_dbus_proxy_get_cached_property(p, "ActiveProfile") : nullptr) {
            saver = saver || (g_variant_is_of_type(v, G_VARIANT_TYPE_STRING) &&
                              std::strcmp(g_variant_get_string(v, nullptr), "power-saver") == 0);
            g_variant_unref(v);
        }
    }
    m_bOnBattery = onBattery;
    m_bPowerSaver = saver;
    const char byte = 1;
    (void)!write(m_Pipe[1], &byte, 1);
}

bool CPowerWatcher::Saving()
{
    char drain[64];
    while (m_Pipe[0] >= 0 && read(m_Pipe[0], drain, sizeof drain) > 0) {
    }
    return m_bOnBattery || m_bPowerSaver;
}

std::string CPowerWatcher::Describe() const
{
    if (m_bOnBattery)
        return m_bPowerSaver ? "on battery, power-saver profile" : "on battery";
    return m_bPowerSaver ? "power-saver profile" : "on mains power";
}
