#include "SystemProxy.h"

#include <QtGlobal>

namespace support::http {

SystemProxySettings systemProxySettings(const QString& scheme)
{
    SystemProxySettings settings;
    for (const char* name :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"})
        settings.fingerprint += qgetenv(name) + '\n';
    // The variable the system's proxy library reads for this scheme; "wpad://" and "pac+URL" ask it to find or
    // run a PAC script, and "direct://" says there is no proxy.
    QByteArray proxy;
    if (scheme == u"https")
        proxy = qEnvironmentVariableIsSet("https_proxy") ? qgetenv("https_proxy") : qgetenv("HTTPS_PROXY");
    if (proxy.isEmpty())
        proxy = qEnvironmentVariableIsSet("http_proxy") ? qgetenv("http_proxy") : qgetenv("HTTP_PROXY");
    proxy = proxy.trimmed().toLower();
    if (!proxy.isEmpty() && !proxy.startsWith("wpad:") && !proxy.startsWith("pac+") && !proxy.startsWith("direct:"))
        settings.setting = ProxySetting::ByHand;
    return settings;
}

} // namespace support::http
