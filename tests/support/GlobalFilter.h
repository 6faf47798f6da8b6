// A Wayland socket in front of a compositor that passes every message (and
// every file descriptor) through, but hides some globals from its clients'
// registries: a compositor that offers less, such as a lock screen's nested
// one that has no seat and no xdg_wm_base. One thread relays every client.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

class CGlobalFilter
{
public:
    CGlobalFilter() = default;
    ~CGlobalFilter(); // Stop
    CGlobalFilter(const CGlobalFilter&) = delete;
    CGlobalFilter& operator=(const CGlobalFilter&) = delete;

    // Listens at path, relaying to the compositor at upstream (both absolute
    // socket paths) without the globals whose interfaces are named in hidden.
    bool Start(const std::string& path, const std::string& upstream, const std::vector<std::string>& hidden);
    void Stop();

private:
    void _Relay();

    std::string m_Upstream;
    std::vector<std::string> m_Hidden;
    int m_nListen = -1;
    int m_nWake[2] = {-1, -1};
    std::thread m_Thread;
};
