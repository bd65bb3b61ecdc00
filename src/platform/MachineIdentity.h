#pragma once

#include <QString>

namespace platform {

/** What identifies this PC to the in-house allowlist. Tests replace it. */
class IMachineIdentity
{
public:
    virtual ~IMachineIdentity() = default;
    /** The MAC address of the first adapter that is up, has an IP address and is not loopback,
     *  written like 00:1A:2B:3C:4D:5E; empty when there is none. */
    virtual QString macAddress() const = 0;
};

} // namespace platform
