#pragma once

#include "Result.h"
#include "Services.h"

#include <QString>

class cMySQL;

// Which PCs may log in: the user id registered for one of this PC's MAC addresses in the table user_mac.
namespace modPcAllowlist {

/** This PC's first MAC address candidate: the one shown when the PC is refused, to be registered. */
QString GetMacAddress(const platform::Services& services);

/** The database server's host (optionally "name:port"). */
QString GetDbServerHost();

/** Connects connection to the database server with the account of the login dialog and the allowlist;
 *  on failure the connection-failure message has been shown. */
bool ConnectLoginAccount(cMySQL& connection);

/** The user id registered, and not blocked, for the first of this PC's MAC address candidates that has one:
 *  the system may list the adapters in another order from one day to the next. Empty when there is none, or
 *  when this PC has no MAC address (the database is not asked then). Otherwise the database's error: when the server
 * could not be reached (cMySQL::IsConnectFailure) its connection-failure message has been shown already. Uses, and
 * closes, a connection of its own. */
platform::Result<QString> GetAllowedUserId(const platform::Services& services);

} // namespace modPcAllowlist
