#include "SystemProxy.h"

#include <QNetworkProxyFactory>
#include <QUrl>

namespace support::http {

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

QList<ProxyChoice> systemProxyRoutes(const QUrl& url)
{
    return proxyRoutes(QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url)),
                       systemProxySettings(url.scheme()).setting);
}

} // namespace support::http
