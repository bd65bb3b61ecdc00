#pragma once

#include <QtGlobal>

#include <memory>

namespace testsupport {

/** A TCP relay on 127.0.0.1 in front of a server, so a test can take the server off the network and bring it
 *  back (as a stopped and restarted server looks to a client) without touching the server itself. */
class TcpRelay final
{
public:
    /** Relays a free port on 127.0.0.1 to targetPort on 127.0.0.1. */
    explicit TcpRelay(quint16 targetPort);
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    /** Where clients connect. */
    quint16 port() const;
    /** Stops listening and drops every relayed connection: the port is closed. */
    void close();
    /** Listens again on the same port; false when that port was taken meanwhile. */
    bool reopen();

private:
    class Worker;
    std::unique_ptr<Worker> m_worker;
};

} // namespace testsupport
