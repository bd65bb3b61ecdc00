#include "UserDataProtection.h"

#include <windows.h>

#include <wincrypt.h>

namespace platform {

namespace {

// The system allocates what it hands back; this gives it back on every path, wiped first (it may be a
// password).
class SystemBlob final
{
public:
    SystemBlob() = default;
    ~SystemBlob()
    {
        if (blob.pbData) {
            SecureZeroMemory(blob.pbData, blob.cbData);
            LocalFree(blob.pbData);
        }
    }
    SystemBlob(const SystemBlob&) = delete;
    SystemBlob& operator=(const SystemBlob&) = delete;

    QByteArray bytes() const { return QByteArray(reinterpret_cast<const char*>(blob.pbData), qsizetype(blob.cbData)); }

    DATA_BLOB blob{};
};

DATA_BLOB input(const QByteArray& bytes)
{
    return DATA_BLOB{DWORD(bytes.size()), reinterpret_cast<BYTE*>(const_cast<char*>(bytes.constData()))};
}

} // namespace

bool userDataProtectionAvailable()
{
    return true;
}

std::optional<QByteArray> protectForUser(const QByteArray& plain)
{
    DATA_BLOB in = input(plain);
    SystemBlob out;
    // Per user (no CRYPTPROTECT_LOCAL_MACHINE); never a prompt, the program may be starting unattended.
    if (!CryptProtectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out.blob))
        return std::nullopt;
    return out.bytes();
}

std::optional<QByteArray> unprotectForUser(const QByteArray& blob)
{
    DATA_BLOB in = input(blob);
    SystemBlob out;
    if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out.blob))
        return std::nullopt;
    return out.bytes();
}

} // namespace platform
