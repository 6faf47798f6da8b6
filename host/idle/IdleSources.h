// Where the idle watcher learns that the user left and came back. Both
// sources deliver their news on GLib's default main context, so it arrives
// while the watcher's main loop sleeps in poll.
#pragma once

#include <functional>
#include <string>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct ext_idle_notifier_v1;
struct ext_idle_notification_v1;
struct org_kde_kwin_idle;
struct org_kde_kwin_idle_timeout;
typedef struct _GDBusConnection GDBusConnection;

struct SIdleHandlers
{
    std::function<void()> m_OnIdle; // the timeout passed without input
    std::function<void()> m_OnActive; // input after m_OnIdle
    std::function<void(const std::string&)> m_OnLost; // the source went away: the one-line reason
};

// The compositor's own idle timers, on its first seat. The connection is also
// what tells the watcher that the compositor went away, whichever source
// reports idleness.
class CWaylandIdle
{
public:
    CWaylandIdle() = default;
    ~CWaylandIdle();
    CWaylandIdle(const CWaylandIdle&) = delete;
    CWaylandIdle& operator=(const CWaylandIdle&) = delete;

    // Connects to $WAYLAND_DISPLAY and reads what the compositor offers;
    // false with the reason when no compositor answers.
    bool Connect(std::string& error);

    // The protocol Watch would use: "ext_idle_notifier_v1",
    // "org_kde_kwin_idle", or null when the compositor offers neither (or no seat).
    const char* Protocol() const;
    bool NoSeat() const { return !m_pSeat; }

    // Reports the compositor's loss from now on, and with a protocol also
    // idleness after timeoutMs without input.
    void Watch(unsigned timeoutMs, const SIdleHandlers& handlers);

    // Whether the compositor still answers within timeoutMs: false only when
    // its connection is gone. A session that ends takes the compositor and
    // the session bus at once, and the compositor's loss is the one to name.
    bool Answers(int timeoutMs);

private:
    friend struct SWaylandCallbacks;
    void _Lost();

    wl_display* m_pDisplay = nullptr;
    wl_registry* m_pRegistry = nullptr;
    wl_seat* m_pSeat = nullptr;
    ext_idle_notifier_v1* m_pNotifier = nullptr;
    ext_idle_notification_v1* m_pNotification = nullptr;
    org_kde_kwin_idle* m_pKdeIdle = nullptr;
    org_kde_kwin_idle_timeout* m_pKdeTimeout = nullptr;
    SIdleHandlers m_Handlers;
    unsigned m_nSource = 0; // the GLib watch on the connection
};

// GNOME: mutter's idle monitor on the session bus. A persistent idle watch
// reports idleness; each time, a one-shot user-active watch reports the return.
class CMutterIdle
{
public:
    CMutterIdle() = default;
    ~CMutterIdle();
    CMutterIdle(const CMutterIdle&) = delete;
    CMutterIdle& operator=(const CMutterIdle&) = delete;

    // False with the reason when there is no session bus or no idle monitor on it.
    bool Watch(unsigned timeoutMs, const SIdleHandlers& handlers, std::string& error);

private:
    friend struct SMutterCallbacks;
    void _Fired(unsigned id);

    GDBusConnection* m_pBus = nullptr;
    SIdleHandlers m_Handlers;
    unsigned m_nSubscription = 0;
    unsigned m_nNameWatch = 0;
    unsigned long m_nClosedHandler = 0;
    unsigned m_nTimeoutMs = 0;
    unsigned m_nIdleWatch = 0;
    unsigned m_nActiveWatch = 0; // 0 while none is pending
};
