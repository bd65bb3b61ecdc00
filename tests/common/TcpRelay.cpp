#include "TcpRelay.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <memory>

namespace testsupport {

// Lives in a thread of its own, so relaying goes on while the test's thread blocks inside a client call.
class TcpRelay::Worker final : public QObject
{
public:
    Worker(quint16 targetPort, Mysql mysql, const QHostAddress& listenOn)
        : m_targetPort(targetPort), m_mysql(mysql), m_listenOn(listenOn)
    {
        moveToThread(&m_thread);
        m_thread.start();
        call([this] {
            m_server = new QTcpServer(this);
            QObject::connect(m_server, &QTcpServer::newConnection, this, [this] { accept(); });
            m_server->listen(m_listenOn, 0);
            m_port = m_server->serverPort();
        });
    }
    ~Worker() override
    {
        call([this] {
            dropAll();
            delete m_server;
        });
        m_thread.quit();
        m_thread.wait();
    }

    quint16 port() const { return m_port; }
    void close()
    {
        call([this] {
            m_server->close();
            dropAll();
        });
    }
    bool reopen()
    {
        bool ok = false;
        call([&] { ok = m_server->listen(m_listenOn, m_port); });
        return ok;
    }
    void setMysql(Mysql mysql)
    {
        call([&] {
            m_mysql = mysql;
            // What the connections so far still had on the way (a client's goodbye) is not the next one's.
            dropAll();
            m_fromClients.clear();
            m_toClients.clear();
        });
    }
    QByteArray recorded(bool fromClients)
    {
        QByteArray bytes;
        call([&] { bytes = fromClients ? m_fromClients : m_toClients; });
        return bytes;
    }

private:
    template <class F> void call(F&& f)
    {
        QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::BlockingQueuedConnection);
    }

    void accept()
    {
        while (QTcpSocket* client = m_server->nextPendingConnection()) {
            auto* upstream = new QTcpSocket(this);
            m_sockets.append(client);
            m_sockets.append(upstream);
            // The way this connection meets the server, and whether its client asked for TLS.
            const auto tls = std::make_shared<std::pair<Mysql, bool>>(m_mysql, false);
            const auto pipe = [this, client, tls](QTcpSocket* from, QTcpSocket* to) {
                QObject::connect(from, &QTcpSocket::readyRead, to, [=, this, first = true]() mutable {
                    QByteArray bytes = from->readAll();
                    (from == client ? m_fromClients : m_toClients) += bytes;
                    // Each side's first packet comes in one piece on loopback: the greeting, the client's answer.
                    if (std::exchange(first, false) && !changeFirst(bytes, from == client, client, *tls))
                        return;
                    if (from != client && tls->second && tls->first == Mysql::BrokenHandshake) {
                        to->write(bytes.left(bytes.size() / 2));
                        to->disconnectFromHost();
                        return;
                    }
                    to->write(bytes);
                });
                QObject::connect(from, &QTcpSocket::disconnected, to, [to] { to->disconnectFromHost(); });
            };
            pipe(client, upstream);
            pipe(upstream, client);
            // What the client sent before the server side was connected goes out once it is.
            QObject::connect(upstream, &QTcpSocket::connected, client,
                             [client, upstream] { upstream->write(client->readAll()); });
            upstream->connectToHost(QHostAddress::LocalHost, m_targetPort);
            // Without it, small writes wait for the other side's delayed acknowledgement: no client sees that.
            for (QTcpSocket* socket : {client, upstream})
                socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        }
    }
    // Clears the greeting's TLS bit (0x0800: the capability flags' second byte, after the protocol version, the
    // server's version up to its NUL, the connection id, 8 bytes of scramble and a filler), or answers a client's
    // request for TLS (the same bit in its first packet) with a fatal TLS alert; notes in tls whether the client
    // asked for TLS. False when nothing is to go on.
    bool changeFirst(QByteArray& bytes, bool fromClient, QTcpSocket* client, std::pair<Mysql, bool>& tls)
    {
        constexpr char ClientSsl = 0x08; // 0x0800, in the flags' second byte
        const qsizetype flags = bytes.indexOf('\0', 5) + 1 + 4 + 9 + 1;
        if (tls.first == Mysql::WithoutTls && !fromClient && flags > 14 && flags < bytes.size())
            bytes[flags] = char(bytes[flags] & ~ClientSsl);
        if (fromClient)
            tls.second = bytes.size() >= 6 && (bytes[5] & ClientSsl);
        if (tls.first != Mysql::FailingTls || !tls.second)
            return true;
        const QByteArray alert("\x15\x03\x03\x00\x02\x02\x28", 7);
        m_toClients += alert;
        client->write(alert);
        client->disconnectFromHost();
        return false;
    }
    void dropAll()
    {
        for (const QPointer<QTcpSocket>& socket : std::as_const(m_sockets)) {
            if (socket) {
                socket->abort();
                socket->deleteLater();
            }
        }
        m_sockets.clear();
    }

    QThread m_thread;
    quint16 m_targetPort;
    Mysql m_mysql;
    QHostAddress m_listenOn;
    quint16 m_port = 0;
    QByteArray m_fromClients, m_toClients;
    QTcpServer* m_server = nullptr;
    QList<QPointer<QTcpSocket>> m_sockets;
};

TcpRelay::TcpRelay(quint16 targetPort, Mysql mysql, const QHostAddress& listenOn)
    : m_worker(std::make_unique<Worker>(targetPort, mysql, listenOn))
{
}
TcpRelay::~TcpRelay() = default;

quint16 TcpRelay::port() const
{
    return m_worker->port();
}

void TcpRelay::close()
{
    m_worker->close();
}

bool TcpRelay::reopen()
{
    return m_worker->reopen();
}

void TcpRelay::setMysql(Mysql mysql)
{
    m_worker->setMysql(mysql);
}

QByteArray TcpRelay::recorded(bool fromClients)
{
    return m_worker->recorded(fromClients);
}

} // namespace testsupport
