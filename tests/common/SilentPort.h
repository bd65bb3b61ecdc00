#pragma once

// POSIX only: a TCP port that answers nothing.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

// A port on 127.0.0.1 that takes no connections, as a switched-off machine: its one-place queue is full, so
// further attempts go unanswered until the caller gives up.
class SilentPort final
{
public:
    SilentPort()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), size);
        ::listen(m_listener, 0);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
        m_filler = ::socket(AF_INET, SOCK_STREAM, 0);
        ::connect(m_filler, reinterpret_cast<sockaddr*>(&address), size);
    }
    ~SilentPort()
    {
        ::close(m_filler);
        ::close(m_listener);
    }
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;
    int port() const { return m_port; }

private:
    int m_listener = -1;
    int m_filler = -1;
    int m_port = 0;
};

} // namespace testsupport
