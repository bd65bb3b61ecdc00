#pragma once

#include "MachineIdentity.h"

namespace platform {

/** The real one, from the system's network interfaces. */
class NetworkMachineIdentity final : public IMachineIdentity
{
public:
    QString macAddress() const override;
};

} // namespace platform
