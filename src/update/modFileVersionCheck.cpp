#include "modFileVersionCheck.h"

namespace modFileVersionCheck {

void CheckFileVersion(const platform::Services&, const QString&, const QString&, const QString&, const QStringList&)
{
}

} // namespace modFileVersionCheck
