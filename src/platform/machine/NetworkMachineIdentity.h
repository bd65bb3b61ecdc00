#pragma once

#include "MachineIdentity.h"

namespace platform {

/** The real one, from the system's network interfaces. */
class NetworkMachineIdentity final : public IMachineIdentity
{
public:
    QStringList macAddresses() const override;
};

} // namespace platform
