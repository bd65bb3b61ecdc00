#pragma once

#include "DiagnosticLog.h"
#include "modMain.h"

#include <memory>

namespace modMain {

/** Main's steps bound to the real server list, update launcher, login dialog and main window. */
StartupSteps realStartupSteps(const platform::Services& services);

/** The diagnostic log of this run: on as IT's machine policy (diagnosticLogPolicy) or else the person's own
 *  setting says. When on, it first logs what support asks about a run: this build, the system and the libraries,
 *  the machine policy in force, the program's folder and the servers it starts from. */
std::unique_ptr<platform::DiagnosticLog> startDiagnosticLog(const platform::Services& services,
                                                            platform::PolicySwitch diagnosticLogPolicy);

} // namespace modMain
