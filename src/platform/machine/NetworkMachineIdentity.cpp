#include "NetworkMachineIdentity.h"

#include <QNetworkInterface>

namespace platform {

namespace {

NetworkAdapter::Medium medium(QNetworkInterface::InterfaceType type)
{
    switch (type) {
    case QNetworkInterface::Ethernet: return NetworkAdapter::Medium::Wired;
    case QNetworkInterface::Wifi:
    case QNetworkInterface::Ieee80216: return NetworkAdapter::Medium::Wireless;
    default: return NetworkAdapter::Medium::Unknown;
    }
}

} // namespace

QStringList NetworkMachineIdentity::macAddresses() const
{
    QList<NetworkAdapter> adapters;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& nic : interfaces) {
        const auto flags = nic.flags();
        adapters.append({nic.hardwareAddress(), flags.testFlag(QNetworkInterface::IsUp),
                         flags.testFlag(QNetworkInterface::IsLoopBack), !nic.addressEntries().isEmpty(),
                         medium(nic.type()), nic.index()});
    }
    return rankMacCandidates(adapters);
}

} // namespace platform
