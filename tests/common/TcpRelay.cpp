#include "TcpRelay.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <memory>
#include <optional>

namespace testsupport {

namespace {

// The protocol's capability bit for TLS, in the greeting's lower capability flags and a client's first packet.
constexpr quint32 ClientSsl = 0x0800;
// A fatal TLS alert, "handshake failure", in a TLS 1.2 record.
constexpr char HandshakeFailure[] = "\x15\x03\x03\x00\x02\x02\x28";

// The length of the first protocol packet in bytes, header included; 0 while it is not all there.
qsizetype firstPacketSize(const QByteArray& bytes)
{
    if (bytes.size() < 4)
        return 0;
    const qsizetype size = 4 + (quint8(bytes[0]) | quint8(bytes[1]) << 8 | quint8(bytes[2]) << 16);
    return bytes.size() >= size ? size : 0;
}

// Clears the TLS bit of a greeting: protocol version, server version up to its NUL, connection id (4),
// scramble (8), filler (1), then the lower two bytes of the capability flags.
void clearTlsOffer(QByteArray& greeting)
{
    const qsizetype versionEnd = greeting.indexOf('\0', 5);
    const qsizetype flags = versionEnd + 1 + 4 + 8 + 1;
    if (versionEnd > 0 && flags + 1 < greeting.size())
        greeting[flags + 1] = char(quint8(greeting[flags + 1]) & ~(ClientSsl >> 8));
}

bool asksForTls(const QByteArray& packet)
{
    return packet.size() >= 8 && (quint8(packet[4]) | quint8(packet[5]) << 8) & ClientSsl;
}

} // namespace

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
            // The first packet each way is held until it is whole where it is to be changed or judged: the
            // greeting, and the client's answer to it.
            auto greeting = std::make_shared<std::optional<QByteArray>>();
            if (m_mysql == Mysql::WithoutTls)
                *greeting = QByteArray();
            auto answer = std::make_shared<std::optional<QByteArray>>();
            if (m_mysql == Mysql::FailingTls)
                *answer = QByteArray();
            QObject::connect(upstream, &QTcpSocket::readyRead, client, [this, client, upstream, greeting] {
                QByteArray bytes = upstream->readAll();
                if (*greeting) {
                    (*greeting)->append(bytes);
                    if (firstPacketSize(**greeting) == 0)
                        return;
                    bytes = **greeting;
                    greeting->reset();
                    clearTlsOffer(bytes);
                }
                m_toClients += bytes;
                client->write(bytes);
            });
            QObject::connect(client, &QTcpSocket::readyRead, upstream, [this, client, upstream, answer] {
                QByteArray bytes = client->readAll();
                m_fromClients += bytes;
                if (*answer) {
                    (*answer)->append(bytes);
                    if (firstPacketSize(**answer) == 0)
                        return;
                    bytes = **answer;
                    answer->reset();
                    if (asksForTls(bytes)) {
                        const QByteArray alert(HandshakeFailure, sizeof HandshakeFailure - 1);
                        m_toClients += alert;
                        client->write(alert);
                        client->disconnectFromHost();
                        upstream->abort();
                        return;
                    }
                }
                upstream->write(bytes);
            });
            for (auto [from, to] : {std::pair{client, upstream}, std::pair{upstream, client}})
                QObject::connect(from, &QTcpSocket::disconnected, to, [to] { to->disconnectFromHost(); });
            upstream->connectToHost(QHostAddress::LocalHost, m_targetPort);
        }
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

QByteArray TcpRelay::fromClients()
{
    return m_worker->recorded(true);
}

QByteArray TcpRelay::toClients()
{
    return m_worker->recorded(false);
}

} // namespace testsupport
