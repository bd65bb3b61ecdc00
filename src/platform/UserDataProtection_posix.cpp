#include "UserDataProtection.h"

namespace platform {

bool userDataProtectionAvailable()
{
    return false;
}

std::optional<QByteArray> protectForUser(const QByteArray&)
{
    return std::nullopt;
}

std::optional<QByteArray> unprotectForUser(const QByteArray&)
{
    return std::nullopt;
}

} // namespace platform
