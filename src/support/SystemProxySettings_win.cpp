#include "SystemProxy.h"

#include <QSettings>

namespace support::http {

SystemProxySettings systemProxySettings(const QString&)
{
    const QSettings internet(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"),
        QSettings::NativeFormat);
    SystemProxySettings settings;
    for (const char* name : {"ProxyEnable", "ProxyServer", "ProxyOverride", "AutoConfigURL"})
        settings.fingerprint += internet.value(QString::fromLatin1(name)).toString().toUtf8() + '\n';
    // What the system's Internet functions read: after two numbers, the flags (2: a proxy server, 4: a PAC
    // script's address, 8: automatic detection).
    const QByteArray record = internet.value(QStringLiteral("Connections/DefaultConnectionSettings")).toByteArray();
    settings.fingerprint += record;
    const int flags = record.size() > 8 ? quint8(record.at(8)) : 0;
    if ((flags & 2) && !(flags & (4 | 8)))
        settings.setting = ProxySetting::ByHand;
    return settings;
}

} // namespace support::http
