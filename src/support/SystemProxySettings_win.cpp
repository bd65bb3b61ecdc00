#include "SystemProxy.h"

#include <windows.h>

namespace support::http {

namespace {

// The bytes of a value of Internet Options, as the registry holds them; empty when it is missing. Read directly:
// QSettings turns a binary value into text.
QByteArray internetSetting(const wchar_t* subKey, const wchar_t* name)
{
    const QString key = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings") +
                        QString::fromWCharArray(subKey);
    const auto* path = reinterpret_cast<const wchar_t*>(key.utf16());
    QByteArray bytes;
    // Another program may grow the value between two calls; a few rounds are enough.
    for (int round = 0; round < 4; ++round) {
        DWORD size = DWORD(bytes.size());
        const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, path, name, RRF_RT_ANY | RRF_NOEXPAND, nullptr,
                                            bytes.isEmpty() ? nullptr : bytes.data(), &size);
        if (status == ERROR_SUCCESS && !bytes.isEmpty())
            return bytes.left(qsizetype(size));
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
            return {};
        bytes.resize(qsizetype(size) + 16);
    }
    return {};
}

} // namespace

SystemProxySettings systemProxySettings(const QUrl&)
{
    SystemProxySettings settings;
    for (const wchar_t* name : {L"ProxyEnable", L"ProxyServer", L"ProxyOverride", L"AutoConfigURL"})
        settings.fingerprint += internetSetting(L"", name) + '\n';
    // What the system's Internet functions read: after two numbers, the flags (2: a proxy server, 4: a PAC
    // script's address, 8: automatic detection).
    const QByteArray record = internetSetting(L"\\Connections", L"DefaultConnectionSettings");
    settings.fingerprint += record;
    const int flags = record.size() > 8 ? quint8(record.at(8)) : 0;
    if ((flags & 2) && !(flags & (4 | 8)))
        settings.setting = ProxySetting::ByHand;
    return settings;
}

} // namespace support::http
