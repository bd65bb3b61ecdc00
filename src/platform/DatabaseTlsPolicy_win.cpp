#include "DatabaseTlsPolicy.h"

#include "BuildInfo.h"
#include "WinHandle.h"

#include <cwchar>
#include <optional>
#include <vector>

namespace platform {

namespace {

const wchar_t* wide(const QString& text)
{
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

// The REG_SZ value name under key; nothing when it is missing or of another type.
std::optional<QString> readString(HKEY key, const QString& name)
{
    std::vector<wchar_t> buffer(256);
    for (int round = 0; round < 4; ++round) {
        DWORD bytes = DWORD(buffer.size() * sizeof(wchar_t));
        const LSTATUS status =
            RegGetValueW(key, nullptr, wide(name), RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr, buffer.data(), &bytes);
        if (status == ERROR_MORE_DATA) {
            buffer.resize(bytes / sizeof(wchar_t) + 1);
            continue;
        }
        if (status != ERROR_SUCCESS)
            return std::nullopt;
        return QString::fromWCharArray(buffer.data(), qsizetype(wcsnlen(buffer.data(), bytes / sizeof(wchar_t))));
    }
    return std::nullopt;
}

} // namespace

QString machinePolicyLocation()
{
    return QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\") + QString::fromUtf8(build::CompanyName) +
           QStringLiteral("\\NorvaQuillet");
}

DatabaseTlsPolicy readDatabaseTlsPolicy(const QString& location)
{
    // Only administrators (and Group Policy) write under HKEY_LOCAL_MACHINE\SOFTWARE\Policies. The certificate
    // authorities are the machine's own store, where IT deploys its CA: the policy names no file here.
    DatabaseTlsPolicy policy;
    const qsizetype slash = location.indexOf(u'\\');
    const QString rootName = location.left(slash);
    HKEY root = nullptr;
    if (rootName == QStringLiteral("HKEY_LOCAL_MACHINE"))
        root = HKEY_LOCAL_MACHINE;
    else if (rootName == QStringLiteral("HKEY_CURRENT_USER"))
        root = HKEY_CURRENT_USER;
    RegKey key;
    if (!root || slash < 0 ||
        RegOpenKeyExW(root, wide(location.mid(slash + 1)), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.receive()) !=
            ERROR_SUCCESS)
        return policy;
    policy.mode = parseDatabaseTls(readString(key.get(), QString::fromUtf16(DatabaseTlsName)).value_or(QString()));
    return policy;
}

} // namespace platform
