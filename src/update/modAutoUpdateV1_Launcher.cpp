#include "modAutoUpdateV1_Launcher.h"

namespace modAutoUpdateV1_Launcher {

bool RunAutoUpdate(const platform::Services&, bool&)
{
    return false;
}

} // namespace modAutoUpdateV1_Launcher
