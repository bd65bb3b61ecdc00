#pragma once

#include <QByteArray>
#include <QHostAddress>

#include <memory>

namespace testsupport {

/** A TCP relay on 127.0.0.1 in front of a server, so a test can take the server off the network and bring it
 *  back (as a stopped and restarted server looks to a client) without touching the server itself. It keeps what
 *  crosses it, as someone on the way would see it. */
class TcpRelay final
{
public:
    /** A MySQL server as it is; its greeting stripped of the offer of TLS; one that shares no TLS version or
     *  cipher with the client (it answers a request for TLS with a fatal alert); or its TLS handshake broken
     *  (the connection cut in the middle of the server's first answer). */
    enum class Mysql { AsItIs, WithoutTls, FailingTls, BrokenHandshake };

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
    /** Connections from now on meet the server as mysql says; those so far are dropped, and what was recorded
     *  is forgotten. */
    void setMysql(Mysql mysql);
    /** What clients sent through the relay so far, and what reached them, all connections together. */
    QByteArray fromClients() { return recorded(true); }
    QByteArray toClients() { return recorded(false); }

private:
    QByteArray recorded(bool fromClients);
    class Worker;
    std::unique_ptr<Worker> m_worker;
};

} // namespace testsupport
