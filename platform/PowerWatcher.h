// CPowerWatcher: whether the machine asks programs to save power, followed
// live on the system bus: UPower's OnBattery, and power-profiles-daemon's
// ActiveProfile being "power-saver" (under its old name net.hadess and its
// new one under UPower). Either one means saving.
//
// A thread of its own runs a GLib main context that receives the services'
// PropertiesChanged signals (and their coming and going); nothing is polled,
// so it costs nothing while nothing changes. After a change it makes Fd()
// readable; the owner's poll() wakes and calls Saving(), which drains it.
// No system bus, or neither service on it: Start fails with the reason, and
// the owner runs at full power.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

class CPowerWatcher
{
public:
    CPowerWatcher();
    ~CPowerWatcher(); // stops the thread
    CPowerWatcher(const CPowerWatcher&) = delete;
    CPowerWatcher& operator=(const CPowerWatcher&) = delete;

    // False with a one-line reason when there is nothing to follow. A
    // service that starts later is still seen when one of them is there now.
    bool Start(std::string& why);

    int Fd() const { return m_Pipe[0]; } // readable after a change; -1 before Start
    bool Saving(); // current answer; drains Fd()
    std::string Describe() const; // "on battery", "power-saver profile", "on mains power"

private:
    struct SGLib; // the context, the loop and the proxies
    void _Update(); // on the watcher's thread, after a signal

    std::unique_ptr<SGLib> m_pGLib;
    std::thread m_Thread;
    int m_Pipe[2] = {-1, -1};
    std::atomic<bool> m_bOnBattery{false};
    std::atomic<bool> m_bPowerSaver{false};
};
