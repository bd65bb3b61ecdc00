#include "modServerAddressUtil.h"

namespace modServerAddressUtil {

bool RefreshServerAddressCache(const platform::Services&, const QString&)
{
    return false;
}

void LoadServerAddressCache(const platform::Services&) {}

QString GetServerHost(const QString&)
{
    return {};
}

} // namespace modServerAddressUtil
