#pragma once

#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <future>
#include <thread>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

namespace testsupport {

/** A server on 127.0.0.1, on a thread of its own, that takes connections and never answers, as a hung web server
 *  or proxy: it holds each one open, or with reset, resets it once the request has arrived. */
class UnansweringServer final
{
public:
    explicit UnansweringServer(bool reset = false)
    {
        std::promise<quint16> port;
        m_thread = std::thread([this, reset, &port] {
            QTcpServer server;
            server.listen(QHostAddress::LocalHost, 0);
            port.set_value(server.serverPort());
            while (!m_stop) {
                if (!server.waitForNewConnection(10))
                    continue;
                QTcpSocket* socket = server.nextPendingConnection();
                ++m_connections;
                const linger now{1, 0}; // closing sends a reset
                if (reset && socket->waitForReadyRead(5000) &&
                    ::setsockopt(socket->socketDescriptor(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&now),
                                 sizeof now) == 0)
                    socket->abort();
            }
        });
        m_port = port.get_future().get();
    }
    ~UnansweringServer()
    {
        m_stop = true;
        m_thread.join();
    }

    quint16 port() const { return m_port; }
    QString host() const { return QStringLiteral("127.0.0.1:") + QString::number(m_port); }
    /** The connections it took so far. */
    int connections() const { return m_connections; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    quint16 m_port = 0;
    std::thread m_thread;
};

} // namespace testsupport
