#include "TcpRelay.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace testsupport {

// Lives in a thread of its own, so relaying goes on while the test's thread blocks inside a client call.
class TcpRelay::Worker final : public QObject
{
public:
    explicit Worker(quint16 targetPort) : m_targetPort(targetPort)
    {
        moveToThread(&m_thread);
        m_thread.start();
        call([this] {
            m_server = new QTcpServer(this);
            QObject::connect(m_server, &QTcpServer::newConnection, this, [this] { accept(); });
            m_server->listen(QHostAddress::LocalHost, 0);
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
        call([&] { ok = m_server->listen(QHostAddress::LocalHost, m_port); });
        return ok;
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
            const auto pipe = [](QTcpSocket* from, QTcpSocket* to) {
                QObject::connect(from, &QTcpSocket::readyRead, to, [from, to] { to->write(from->readAll()); });
                QObject::connect(from, &QTcpSocket::disconnected, to, [to] { to->disconnectFromHost(); });
            };
            pipe(client, upstream);
            pipe(upstream, client);
            // What the client sent before the server side was connected goes out once it is.
            QObject::connect(upstream, &QTcpSocket::connected, client,
                             [client, upstream] { upstream->write(client->readAll()); });
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
    quint16 m_port = 0;
    QTcpServer* m_server = nullptr;
    QList<QPointer<QTcpSocket>> m_sockets;
};

TcpRelay::TcpRelay(quint16 targetPort) : m_worker(std::make_unique<Worker>(targetPort)) {}
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

} // namespace testsupport
