#pragma once

#include "modMain.h"

namespace modMain {

/** Main's steps bound to the real server list, update launcher, login dialog and main window. */
StartupSteps realStartupSteps(const platform::Services& services);

} // namespace modMain
