#include "SystemProxy.h"

#include <QNetworkProxyFactory>
#include <QUrl>

#include <condition_variable>
#include <memory>
#include <system_error>
#include <thread>

namespace support::http {

namespace {

// One question to the system, shared by every transfer that needs its answer.
struct Question final
{
    bool answered = false;
    QList<ProxyChoice> routes;
};

struct Questions final
{
    std::mutex mutex;
    std::condition_variable answered;
    QHash<QByteArray, std::shared_ptr<Question>> asked;
    int runningOnThreads = 0;
    SystemAnswer staged;
};

// Never destroyed: a question left running on its thread may still answer while the process ends.
Questions& questions()
{
    static auto* const all = new Questions;
    return *all;
}

QByteArray questionKey(const QUrl& url, const SystemProxySettings& settings)
{
    return settings.fingerprint + '\n' + url.scheme().toUtf8() + "://" + url.host(QUrl::FullyEncoded).toUtf8() + ':' +
           QByteArray::number(url.port());
}

// Asks the system, unless its settings answer themselves, and hands its answer to every transfer waiting for it;
// onThread: the question ran on a thread of its own, which ends with it.
void answer(Question& question, const QUrl& url, const SystemProxySettings& settings, bool onThread)
{
    QList<QNetworkProxy> systemAnswer;
    if (settings.answer) {
        systemAnswer = *settings.answer;
    } else {
        SystemAnswer staged;
        {
            const std::lock_guard lock(questions().mutex);
            staged = questions().staged;
        }
        const QNetworkProxyQuery query(url);
        systemAnswer = staged ? staged(query) : QNetworkProxyFactory::systemProxyForQuery(query);
    }
    QList<ProxyChoice> routes = proxyRoutes(systemAnswer, settings.setting);
    Questions& all = questions();
    {
        const std::lock_guard lock(all.mutex);
        question.routes = std::move(routes);
        question.answered = true;
        all.runningOnThreads -= onThread ? 1 : 0;
    }
    all.answered.notify_all();
}

// Starts question on a thread of its own; false when none can be had. The caller holds the questions' mutex.
bool askOnThread(const std::shared_ptr<Question>& question, const QUrl& url, const SystemProxySettings& settings)
{
    try {
        std::thread([question, url, settings] { answer(*question, url, settings, true); }).detach();
    } catch (const std::system_error&) {
        return false;
    }
    ++questions().runningOnThreads;
    return true;
}

// Whether no_proxy's list (comma-separated hosts and domains; "*" for all) sends host direct.
bool bypassed(const QString& host, const QByteArray& noProxy)
{
    const QString name = host.toLower();
    for (const QByteArray& entry : noProxy.split(',')) {
        QString domain = QString::fromUtf8(entry.trimmed()).toLower();
        if (domain == u"*")
            return true;
        while (domain.startsWith(u'*') || domain.startsWith(u'.'))
            domain.remove(0, 1);
        if (domain.startsWith(u'[') && domain.endsWith(u']'))
            domain = domain.mid(1, domain.size() - 2);
        if (!domain.isEmpty() && (name == domain || name.endsWith(u'.' + domain)))
            return true;
    }
    return false;
}

} // namespace

QList<ProxyChoice> proxyRoutes(const QList<QNetworkProxy>& systemAnswer, ProxySetting setting)
{
    QList<ProxyChoice> routes;
    for (const QNetworkProxy& proxy : systemAnswer) {
        QString scheme;
        switch (proxy.type()) {
        case QNetworkProxy::NoProxy:
            if (routes.isEmpty() || setting == ProxySetting::Automatic)
                routes.append(ProxyChoice{});
            return routes;
        case QNetworkProxy::HttpProxy:
        case QNetworkProxy::HttpCachingProxy: scheme = QStringLiteral("http"); break;
        case QNetworkProxy::Socks5Proxy: scheme = QStringLiteral("socks5h"); break;
        case QNetworkProxy::DefaultProxy:
        case QNetworkProxy::FtpCachingProxy: continue;
        }
        if (proxy.hostName().isEmpty())
            continue;
        QUrl url;
        url.setScheme(scheme);
        url.setHost(proxy.hostName());
        if (proxy.port() != 0)
            url.setPort(proxy.port());
        ProxyChoice choice{url.toEncoded(), ProxyAuth::None, {}, {}};
        if (!proxy.user().isEmpty()) {
            choice.auth = ProxyAuth::Given;
            choice.user = proxy.user().toUtf8();
            choice.password = proxy.password().toUtf8();
        } else if (scheme == u"http") {
            choice.auth = ProxyAuth::SignedInUser;
        }
        if (!routes.contains(choice))
            routes.append(choice);
    }
    if (routes.isEmpty())
        routes.append(ProxyChoice{});
    return routes;
}

std::optional<QList<QNetworkProxy>> proxiesFromVariables(const QUrl& url,
                                                         const std::function<QByteArray(const char*)>& variable)
{
    // Lower case first, as tools read them.
    const auto read = [&variable](const char* lower, const char* upper) {
        const QByteArray value = variable(lower).trimmed();
        return value.isEmpty() ? variable(upper).trimmed() : value;
    };
    const bool https = url.scheme() == u"https";
    QByteArray value = https ? read("https_proxy", "HTTPS_PROXY") : read("http_proxy", "HTTP_PROXY");
    if (value.isEmpty())
        value = read("all_proxy", "ALL_PROXY");
    if (value.isEmpty() && https)
        value = read("http_proxy", "HTTP_PROXY");
    const QByteArray lower = value.toLower();
    if (value.isEmpty() || lower.startsWith("wpad:") || lower.startsWith("pac+") || lower.startsWith("direct:"))
        return std::nullopt;

    const QUrl proxy(QString::fromUtf8(value.contains("://") ? value : "http://" + value));
    const QString scheme = proxy.scheme().toLower();
    const QNetworkProxy::ProxyType type = scheme == u"http"              ? QNetworkProxy::HttpProxy
                                          : scheme.startsWith(u"socks5") ? QNetworkProxy::Socks5Proxy
                                                                         : QNetworkProxy::DefaultProxy;
    // A kind libcurl is not given here (an https or SOCKS4 proxy): the proxy library's answer, as before.
    if (type == QNetworkProxy::DefaultProxy || proxy.host().isEmpty())
        return std::nullopt;
    if (bypassed(url.host(), read("no_proxy", "NO_PROXY")))
        return QList{QNetworkProxy(QNetworkProxy::NoProxy)};
    return QList{QNetworkProxy(type, proxy.host(), quint16(proxy.port(0)), proxy.userName(), proxy.password())};
}

void stageSystemAnswer(SystemAnswer answer)
{
    const std::lock_guard lock(questions().mutex);
    questions().staged = std::move(answer);
}

std::optional<QList<ProxyChoice>> systemProxyRoutes(const QUrl& url, const std::atomic<bool>* cancel)
{
    const SystemProxySettings settings = systemProxySettings(url);
    Questions& all = questions();
    std::unique_lock lock(all.mutex);
    std::shared_ptr<Question>& slot = all.asked[questionKey(url, settings)];
    const bool ask = !slot;
    if (ask)
        slot = std::make_shared<Question>();
    const std::shared_ptr<Question> question = slot;
    if (ask && !(cancel && askOnThread(question, url, settings))) {
        lock.unlock();
        answer(*question, url, settings, false);
        lock.lock();
    }
    while (!question->answered) {
        if (cancel && cancel->load())
            return std::nullopt;
        all.answered.wait_for(lock, std::chrono::milliseconds(50));
    }
    return question->routes;
}

bool systemQuestionRunning()
{
    Questions& all = questions();
    const std::lock_guard lock(all.mutex);
    return all.runningOnThreads > 0;
}

void UnreachableProxies::remember(const QByteArray& proxyUrl, Clock::time_point when)
{
    const std::lock_guard lock(m_mutex);
    m_since.insert(proxyUrl, when);
}

void UnreachableProxies::forget(const QByteArray& proxyUrl)
{
    const std::lock_guard lock(m_mutex);
    m_since.remove(proxyUrl);
}

QList<ProxyChoice> UnreachableProxies::ordered(const QList<ProxyChoice>& routes, Clock::time_point now) const
{
    QList<ProxyChoice> first;
    QList<ProxyChoice> last;
    const std::lock_guard lock(m_mutex);
    for (const ProxyChoice& route : routes) {
        const auto since = m_since.constFind(route.url);
        const bool unreachable = !route.url.isEmpty() && since != m_since.cend() && now - *since < Kept;
        (unreachable ? last : first).append(route);
    }
    return first + last;
}

UnreachableProxies& unreachableProxies()
{
    // Never destroyed, like the questions: a transfer on another thread may use it while the process ends.
    static auto* const proxies = new UnreachableProxies;
    return *proxies;
}

} // namespace support::http
