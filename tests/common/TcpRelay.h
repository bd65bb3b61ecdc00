#pragma once

#include <QByteArray>
#include <QHostAddress>

#include <memory>

namespace testsupport {

/** A TCP relay on 127.0.0.1 in front of a server, so a test can take the server off the network and bring it
 *  back (as a stopped and restarted server looks to a client) without touching the server itself. It keeps what
 *  crossed it, as someone on the way would see it, and can make a MySQL server look as if it spoke no TLS, or a
 *  TLS this client cannot speak. */
class TcpRelay final
{
public:
    enum class Mysql {
        AsItIs,
        /** The server's greeting no longer offers TLS (its capability bit cleared): a server without TLS. */
        WithoutTls,
        /** A client's request for TLS is answered with a fatal TLS handshake alert, as a server does that
         *  shares no protocol version or cipher with the client. */
        FailingTls,
    };

    /** Relays a free port on listenOn (127.0.0.1 unless said) to targetPort on 127.0.0.1. */
    explicit TcpRelay(quint16 targetPort, Mysql mysql = Mysql::AsItIs,
                      const QHostAddress& listenOn = QHostAddress(QHostAddress::LocalHost));
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    /** Where clients connect. */
    quint16 port() const;
    /** Stops listening and drops every relayed connection: the port is closed. */
    void close();
    /** Listens again on the same port; false when that port was taken meanwhile. */
    bool reopen();
    /** Every byte clients sent through the relay so far, and every byte that reached them, all connections
     *  together. */
    QByteArray fromClients();
    QByteArray toClients();

private:
    class Worker;
    std::unique_ptr<Worker> m_worker;
};

} // namespace testsupport
