#include "tests/support/GlobalFilter.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>

namespace {

int Connect(const std::string& path)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0)
        close(fd);
    return -1;
}

// One direction of one client's connection: bytes come in with their file
// descriptors, whole messages go out (or are dropped).
struct SStream
{
    int m_nFrom;
    int m_nTo;
    std::string m_Bytes; // what came in and has not gone out
    std::vector<int> m_Fds; // descriptors that came in and have not gone out
};

uint32_t Word(const std::string& bytes, size_t at)
{
    uint32_t w = 0;
    std::memcpy(&w, bytes.data() + at, 4);
    return w;
}

bool SendAll(int fd, const std::string& bytes, std::vector<int>& fds)
{
    size_t sent = 0;
    while (sent < bytes.size() || !fds.empty()) {
        iovec io = {const_cast<char*>(bytes.data() + sent), bytes.size() - sent};
        char control[CMSG_SPACE(sizeof(int) * 28)] = {};
        msghdr message = {};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        const size_t count = std::min<size_t>(fds.size(), 28);
        if (count > 0) {
            message.msg_control = control;
            message.msg_controllen = CMSG_SPACE(sizeof(int) * count);
            cmsghdr* header = CMSG_FIRSTHDR(&message);
            header->cmsg_level = SOL_SOCKET;
            header->cmsg_type = SCM_RIGHTS;
            header->cmsg_len = CMSG_LEN(sizeof(int) * count);
            std::memcpy(CMSG_DATA(header), fds.data(), sizeof(int) * count);
        }
        if (io.iov_len == 0) // descriptors ride on bytes: those left go with the next message
            break;
        const ssize_t n = sendmsg(fd, &message, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        for (size_t i = 0; i < count; ++i)
            close(fds[i]);
        fds.erase(fds.begin(), fds.begin() + static_cast<long>(count));
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool Receive(SStream& s)
{
    char buffer[4096];
    char control[CMSG_SPACE(sizeof(int) * 28)];
    iovec io = {buffer, sizeof buffer};
    msghdr message = {};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t n = recvmsg(s.m_nFrom, &message, MSG_CMSG_CLOEXEC);
    if (n <= 0)
        return false;
    for (cmsghdr* h = CMSG_FIRSTHDR(&message); h; h = CMSG_NXTHDR(&message, h)) {
        if (h->cmsg_level == SOL_SOCKET && h->cmsg_type == SCM_RIGHTS) {
            const size_t count = (h->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            const int* fds = reinterpret_cast<const int*>(CMSG_DATA(h));
            s.m_Fds.insert(s.m_Fds.end(), fds, fds + count);
        }
    }
    s.m_Bytes.append(buffer, static_cast<size_t>(n));
    return true;
}

struct SClient
{
    SStream m_Up; // client to compositor
    SStream m_Down; // compositor to client
    std::set<uint32_t> m_Registries; // ids of the client's wl_registry objects
};

// Passes the whole messages on; keep says which. False when the peer is gone.
template <typename Keep> bool Pass(SStream& s, Keep keep)
{
    std::string out;
    size_t at = 0;
    while (s.m_Bytes.size() - at >= 8) {
        const uint32_t size = Word(s.m_Bytes, at + 4) >> 16;
        if (size < 8 || s.m_Bytes.size() - at < size)
            break;
        if (keep(s.m_Bytes, at, size))
            out.append(s.m_Bytes, at, size);
        at += size;
    }
    s.m_Bytes.erase(0, at);
    return SendAll(s.m_nTo, out, s.m_Fds);
}

} // namespace

CGlobalFilter::~CGlobalFilter()
{
    Stop();
}

bool CGlobalFilter::Start(const std::string& path, const std::string& upstream, const std::vector<std::string>& hidden)
{
    m_Upstream = upstream;
    m_Hidden = hidden;
    m_nListen = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    unlink(path.c_str());
    if (m_nListen < 0 || bind(m_nListen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_nListen, 8) != 0 || pipe2(m_nWake, O_CLOEXEC) != 0)
        return false;
    m_Thread = std::thread([this] { _Relay(); });
    return true;
}

void CGlobalFilter::Stop()
{
    if (m_Thread.joinable()) {
        const char byte = 0;
        (void)!write(m_nWake[1], &byte, 1);
        m_Thread.join();
    }
    for (int* fd : {&m_nListen, &m_nWake[0], &m_nWake[1]}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

void CGlobalFilter::_Relay()
{
    std::vector<SClient> clients;
    for (;;) {
        std::vector<pollfd> fds = {{m_nWake[0], POLLIN, 0}, {m_nListen, POLLIN, 0}};
        for (const SClient& c : clients) {
            fds.push_back({c.m_Up.m_nFrom, POLLIN, 0});
            fds.push_back({c.m_Down.m_nFrom, POLLIN, 0});
        }
        if (poll(fds.data(), fds.size(), -1) < 0)
            continue;
        if (fds[0].revents)
            break;
        if (fds[1].revents & POLLIN) {
            const int client = accept4(m_nListen, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = client >= 0 ? Connect(m_Upstream) : -1;
            if (server >= 0)
                clients.push_back({{client, server, {}, {}}, {server, client, {}, {}}, {}});
            else if (client >= 0)
                close(client);
            continue; // the list changed under fds
        }
        for (size_t i = 0; i < clients.size(); ++i) {
            SClient& c = clients[i];
            bool alive = true;
            if (fds[2 + 2 * i].revents) {
                alive = Receive(c.m_Up) && Pass(c.m_Up, [&](const std::string& b, size_t at, uint32_t) {
                            // wl_display.get_registry: object 1, opcode 1, the new id
                            if (Word(b, at) == 1 && (Word(b, at + 4) & 0xffff) == 1)
                                c.m_Registries.insert(Word(b, at + 8));
                            return true;
                        });
            }
            if (alive && fds[3 + 2 * i].revents) {
                alive = Receive(c.m_Down) && Pass(c.m_Down, [&](const std::string& b, size_t at, uint32_t size) {
                            // wl_registry.global: name, interface (length, text), version
                            if (!c.m_Registries.count(Word(b, at)) || (Word(b, at + 4) & 0xffff) != 0 || size < 16)
                                return true;
                            const uint32_t length = Word(b, at + 12);
                            if (length == 0 || 16 + length > size)
                                return true;
                            const std::string interface = b.substr(at + 16, length - 1);
                            return std::find(m_Hidden.begin(), m_Hidden.end(), interface) == m_Hidden.end();
                        });
            }
            if (!alive) {
                for (int fd : c.m_Up.m_Fds)
                    close(fd);
                for (int fd : c.m_Down.m_Fds)
                    close(fd);
                close(c.m_Up.m_nFrom);
                close(c.m_Down.m_nFrom);
                clients.erase(clients.begin() + static_cast<long>(i));
                break; // the indices moved
            }
        }
    }
    for (SClient& c : clients) {
        close(c.m_Up.m_nFrom);
        close(c.m_Down.m_nFrom);
    }
}
