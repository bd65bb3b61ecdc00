#include "SystemProxy.h"

#include <QUrl>
#include <QtGlobal>

namespace support::http {

SystemProxySettings systemProxySettings(const QUrl& url)
{
    SystemProxySettings settings;
    for (const char* name :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"})
        settings.fingerprint += qgetenv(name) + '\n';
    // A proxy named by hand is read here, as tools read it: the system's proxy library takes neither a value
    // without a scheme nor all_proxy. "wpad://" and "pac+URL" are its own (finding or running a PAC script).
    settings.answer = proxiesFromVariables(url, [](const char* name) { return qgetenv(name); });
    if (settings.answer)
        settings.setting = ProxySetting::ByHand;
    return settings;
}

} // namespace support::http
