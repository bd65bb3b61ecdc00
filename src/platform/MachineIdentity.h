#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace platform {

/** One network adapter as the system lists it. */
struct NetworkAdapter
{
    enum class Medium { Wired, Unknown, Wireless };

    QString hardwareAddress; // as the system writes it, e.g. "00:1a:2b:3c:4d:5e"
    bool up = true;
    bool loopback = false;
    bool hasAddress = true; // an IP address is assigned
    Medium medium = Medium::Unknown;
    int index = 0; // the system's interface index
};

/** The MAC addresses that may identify this PC, best first, written like 00:1A:2B:3C:4D:5E: adapters that are
 *  up, not loopback, with an IP address and a 6-byte address that is not all zero. The order does not depend on
 *  the order the system lists them in: universally administered before locally administered addresses,
 *  physical adapters before virtual-machine and VPN ones, wired before wireless, then the interface index. */
QStringList rankMacCandidates(const QList<NetworkAdapter>& adapters);

/** What identifies this PC to the in-house allowlist. Tests replace it. */
class IMachineIdentity
{
public:
    virtual ~IMachineIdentity() = default;
    /** This PC's MAC address candidates, best first (rankMacCandidates); empty when there is none. */
    virtual QStringList macAddresses() const = 0;
    /** The first candidate: the one an administrator registers; empty when there is none. */
    QString macAddress() const { return macAddresses().value(0); }
};

} // namespace platform
