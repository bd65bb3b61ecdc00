#pragma once

#include <QLoggingCategory>

// The areas of the diagnostic log, one per subsystem, for every library of the program. Each is silent (nothing
// enabled, nothing formatted) until the diagnostic log turns it on; see DiagnosticLog.h.
namespace platform {

Q_DECLARE_LOGGING_CATEGORY(lcStart)      // "zt.start": the run's start and end, versions, the policy in force
Q_DECLARE_LOGGING_CATEGORY(lcServerList) // "zt.serverlist": where the server list came from
Q_DECLARE_LOGGING_CATEGORY(lcHttp)       // "zt.http": each transfer
Q_DECLARE_LOGGING_CATEGORY(lcUpdate)     // "zt.update": versions compared, signatures judged, the hand-over
Q_DECLARE_LOGGING_CATEGORY(lcDatabase)   // "zt.db": connections to the database
Q_DECLARE_LOGGING_CATEGORY(lcLogin)      // "zt.login": the allowlist and the password check
Q_DECLARE_LOGGING_CATEGORY(lcDecode)     // "zt.decode": each decoded file
Q_DECLARE_LOGGING_CATEGORY(lcUi)         // "zt.ui": each message box, before it shows

} // namespace platform
