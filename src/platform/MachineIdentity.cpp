#include "MachineIdentity.h"

#include <QByteArray>

#include <algorithm>
#include <tuple>

namespace platform {

namespace {

// Hyper-V, VirtualBox (host and host-only), VMware (three), Parallels: virtual machines' and their hosts'
// switches. TAP adapters (00:FF:…) are VPN clients'.
bool isVirtual(const QByteArray& mac)
{
    static const QByteArray prefixes[] = {QByteArray("\x00\x15\x5D", 3), QByteArray("\x08\x00\x27", 3),
                                          QByteArray("\x0A\x00\x27", 3), QByteArray("\x00\x50\x56", 3),
                                          QByteArray("\x00\x0C\x29", 3), QByteArray("\x00\x05\x69", 3),
                                          QByteArray("\x00\x1C\x42", 3), QByteArray("\x00\xFF", 2)};
    return std::any_of(std::begin(prefixes), std::end(prefixes),
                       [&](const QByteArray& prefix) { return mac.startsWith(prefix); });
}

} // namespace

QStringList rankMacCandidates(const QList<NetworkAdapter>& adapters)
{
    struct Candidate
    {
        bool locallyAdministered;
        bool isVirtual;
        NetworkAdapter::Medium medium;
        int index;
        QByteArray mac;
    };
    QList<Candidate> candidates;
    for (const NetworkAdapter& adapter : adapters) {
        // The separators are skipped; a tunnel's 8 bytes or no address at all is no MAC address.
        const QByteArray mac = QByteArray::fromHex(adapter.hardwareAddress.toLatin1());
        if (!adapter.up || adapter.loopback || !adapter.hasAddress || mac.size() != 6 || mac.count('\0') == 6)
            continue;
        candidates.append({(mac[0] & 0x02) != 0, isVirtual(mac), adapter.medium, adapter.index, mac});
    }
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return std::tie(a.locallyAdministered, a.isVirtual, a.medium, a.index, a.mac) <
               std::tie(b.locallyAdministered, b.isVirtual, b.medium, b.index, b.mac);
    });
    QStringList ranked;
    for (const Candidate& candidate : candidates)
        ranked.append(QString::fromLatin1(candidate.mac.toHex(':').toUpper()));
    // A bridge and the port under it carry one address: it is asked for once.
    ranked.removeDuplicates();
    return ranked;
}

} // namespace platform
