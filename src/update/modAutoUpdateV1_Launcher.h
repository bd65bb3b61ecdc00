#pragma once

#include "Services.h"

// Placeholder until the update launcher is built: nothing is checked or replaced yet.
namespace modAutoUpdateV1_Launcher {

/** Keeps the sibling tools current, runs the version checker and hands over to a newer build.
 *  Returns False on every path that returns. */
bool RunAutoUpdate(const platform::Services& services, bool& skipSelfUpdate);

} // namespace modAutoUpdateV1_Launcher
