#pragma once

#include "Result.h"
#include "Services.h"

#include <QString>

class cMySQL;

// Which PCs may log in: the user id registered for this PC's MAC address in the table user_mac.
namespace modPcAllowlist {

/** This PC's MAC address text: the one looked up and the one shown when the PC is refused. */
QString GetMacAddress(const platform::Services& services);

/** The database server's host (optionally "name:port"). */
QString GetDbServerHost();

/** Connects connection to the database server with the account of the login dialog and the allowlist;
 *  on failure the connection-failure message has been shown. */
bool ConnectLoginAccount(cMySQL& connection);

/** The user id registered for this PC and not blocked; empty when there is none, or when this PC has no MAC
 *  address (the database is not asked then). Otherwise the database's error: when the server could not be
 *  reached (cMySQL::IsConnectFailure) its connection-failure message has been shown already. Uses, and closes,
 *  a connection of its own. */
platform::Result<QString> GetAllowedUserId(const platform::Services& services);

} // namespace modPcAllowlist
