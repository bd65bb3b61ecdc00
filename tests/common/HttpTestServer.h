#pragma once

#include <httplib.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace testsupport {

/** A real HTTP server on 127.0.0.1, on a free port and its own thread. It serves the files put into it
 *  (path → body, 404 otherwise) and any special route a test adds, and records every request. */
class HttpTestServer final
{
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    HttpTestServer()
    {
        m_server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            Handler handler;
            std::string body;
            bool found = false;
            {
                // Recorded before answering, so the record is complete when the client has its answer.
                const std::lock_guard lock(m_mutex);
                m_targets.append(QString::fromStdString(request.target));
                m_paths.append(QString::fromStdString(request.path));
                m_userAgents.append(QString::fromStdString(request.get_header_value("User-Agent")));
                if (auto it = m_handlers.find(request.path); it != m_handlers.end())
                    handler = it->second;
                else if (auto file = m_files.find(request.path); file != m_files.end())
                    body = file->second, found = true;
            }
            if (handler)
                handler(request, response);
            else if (found)
                response.set_content(body, "application/octet-stream");
            else
                response.status = 404, response.set_content("<html>not here</html>", "text/html");
        });
        // One request per connection: an answer with no length announced ends only when the connection does,
        // and a kept-alive connection would hold it open for seconds.
        m_server.set_keep_alive_max_count(1);
        m_port = m_server.bind_to_any_port("127.0.0.1");
        // The socket already listens: clients may connect before the thread accepts.
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // stop() does nothing before the loop runs: wait for it, so that stopping always ends the thread.
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    ~HttpTestServer() { stop(); }

    void stop()
    {
        m_released = true;
        if (m_thread.joinable()) {
            m_server.stop();
            m_thread.join();
        }
    }

    int port() const { return m_port; }
    /** "127.0.0.1:port", the form a host entry carries. */
    QString host() const { return QStringLiteral("127.0.0.1:") + QString::number(m_port); }
    /** "http://127.0.0.1:port" + path. */
    QString url(const QString& path = {}) const { return QStringLiteral("http://") + host() + path; }

    /** Serves body at path (a decoded path, UTF-8). */
    void putFile(const QString& path, const QByteArray& body)
    {
        const std::lock_guard lock(m_mutex);
        m_files[path.toStdString()] = body.toStdString();
    }
    void removeFile(const QString& path)
    {
        const std::lock_guard lock(m_mutex);
        m_files.erase(path.toStdString());
    }
    void route(const QString& path, Handler handler)
    {
        const std::lock_guard lock(m_mutex);
        m_handlers[path.toStdString()] = std::move(handler);
    }

    /** Announces length bytes, sends the first sent ones, then stalls until the server stops. */
    void routeStalled(const QString& path, std::size_t length, std::size_t sent)
    {
        route(path, [this, length, sent](const httplib::Request&, httplib::Response& response) {
            response.set_content_provider(length, "text/plain",
                                          [this, sent](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                              if (offset == 0) {
                                                  const std::string part(sent, '7');
                                                  sink.write(part.data(), part.size());
                                                  return true;
                                              }
                                              while (!m_released)
                                                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
                                              return false;
                                          });
        });
    }

    /** Announces length bytes, sends the first sent ones, then drops the connection. */
    void routeDropped(const QString& path, std::size_t length, std::size_t sent)
    {
        route(path, [length, sent](const httplib::Request&, httplib::Response& response) {
            response.set_content_provider(length, "application/octet-stream",
                                          [sent](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                              if (offset >= sent)
                                                  return false;
                                              const std::string part(sent, 'x');
                                              sink.write(part.data(), part.size());
                                              return true;
                                          });
        });
    }

    /** Sends body with no length announced and then closes the connection, as an HTTP/1.0 server does:
     *  only the content can tell a whole body from a cut one. */
    void routeCloseDelimited(const QString& path, const QByteArray& body)
    {
        route(path, [body](const httplib::Request&, httplib::Response& response) {
            response.set_content_provider(
                "application/octet-stream", [body](std::size_t offset, httplib::DataSink& sink) {
                    if (offset < std::size_t(body.size()))
                        sink.write(body.constData() + offset, std::size_t(body.size()) - offset);
                    else
                        sink.done();
                    return true;
                });
        });
    }

    /** Answers status with a Location header. */
    void routeRedirect(const QString& path, const QString& location, int status = 302)
    {
        route(path, [location, status](const httplib::Request&, httplib::Response& response) {
            response.status = status;
            response.set_header("Location", location.toStdString());
            response.set_content("moved", "text/plain");
        });
    }

    /** Raw request targets (as sent, percent-encoding included), first to last. */
    QStringList targets() const
    {
        const std::lock_guard lock(m_mutex);
        return m_targets;
    }
    /** Decoded request paths, first to last. */
    QStringList paths() const
    {
        const std::lock_guard lock(m_mutex);
        return m_paths;
    }
    QStringList userAgents() const
    {
        const std::lock_guard lock(m_mutex);
        return m_userAgents;
    }

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = -1;
    std::atomic<bool> m_released{false};
    mutable std::mutex m_mutex;
    std::map<std::string, std::string> m_files;
    std::map<std::string, Handler> m_handlers;
    QStringList m_targets;
    QStringList m_paths;
    QStringList m_userAgents;
};

} // namespace testsupport
