#include "NetworkMachineIdentity.h"

#include <QNetworkInterface>

namespace platform {

QString NetworkMachineIdentity::macAddress() const
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& nic : interfaces) {
        const auto flags = nic.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        if (nic.addressEntries().isEmpty())
            continue;
        const QString mac = nic.hardwareAddress().toUpper();
        if (mac.isEmpty() || mac == QStringLiteral("00:00:00:00:00:00"))
            continue;
        return mac;
    }
    return {};
}

} // namespace platform
