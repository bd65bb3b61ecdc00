#include "MachineIdentity.h"

#include <QByteArray>

#include <algorithm>
#include <array>
#include <optional>
#include <tuple>

namespace platform {

namespace {

using Mac = std::array<unsigned char, 6>;

// "aa:bb:cc:dd:ee:ff" or with "-": six bytes; anything else (a tunnel's 8 bytes, nothing) is no MAC address.
std::optional<Mac> parseMac(const QString& text)
{
    const QStringList parts = QString(text).replace(u'-', u':').split(u':');
    if (parts.size() != 6)
        return std::nullopt;
    Mac mac{};
    for (std::size_t i = 0; i < mac.size(); ++i) {
        bool ok = false;
        const QString& part = parts.at(qsizetype(i));
        const uint value = part.toUInt(&ok, 16);
        if (!ok || part.size() != 2)
            return std::nullopt;
        mac[i] = static_cast<unsigned char>(value);
    }
    return mac;
}

// Hyper-V, VirtualBox (host and host-only), VMware (three), Parallels: addresses of virtual machines' and
// hosts' virtual switches. TAP adapters (00:FF:…) are VPN clients'.
bool isVirtual(const Mac& mac)
{
    static constexpr std::array<std::array<unsigned char, 3>, 7> prefixes{{{0x00, 0x15, 0x5D},
                                                                           {0x08, 0x00, 0x27},
                                                                           {0x0A, 0x00, 0x27},
                                                                           {0x00, 0x50, 0x56},
                                                                           {0x00, 0x0C, 0x29},
                                                                           {0x00, 0x05, 0x69},
                                                                           {0x00, 0x1C, 0x42}}};
    if (mac[0] == 0x00 && mac[1] == 0xFF)
        return true;
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](const auto& prefix) { return std::equal(prefix.begin(), prefix.end(), mac.begin()); });
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
        QString text;
    };
    QList<Candidate> candidates;
    for (const NetworkAdapter& adapter : adapters) {
        if (!adapter.up || adapter.loopback || !adapter.hasAddress)
            continue;
        const std::optional<Mac> mac = parseMac(adapter.hardwareAddress);
        if (!mac || std::all_of(mac->begin(), mac->end(), [](unsigned char b) { return b == 0; }))
            continue;
        const QByteArray bytes(reinterpret_cast<const char*>(mac->data()), qsizetype(mac->size()));
        candidates.append({((*mac)[0] & 0x02) != 0, isVirtual(*mac), adapter.medium, adapter.index,
                           QString::fromLatin1(bytes.toHex(':').toUpper())});
    }
    std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return std::tie(a.locallyAdministered, a.isVirtual, a.medium, a.index) <
               std::tie(b.locallyAdministered, b.isVirtual, b.medium, b.index);
    });
    QStringList ranked;
    for (const Candidate& candidate : candidates)
        if (!ranked.contains(candidate.text))
            ranked.append(candidate.text);
    return ranked;
}

} // namespace platform
