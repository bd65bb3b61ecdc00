#pragma once

#include "DatabaseTlsPolicy.h"
#include "VbError.h"

#include <QString>

struct st_mysql;

// What the diagnostic log says of the database (area "db").
namespace dblog {

/** The client library, as it names itself ("MariaDB Connector/C 3.3.8"). */
QString connectorVersion();

/** The policy as IT wrote it: "prefer", "require" or "verify", and the CA file when one is named. */
QString policyText(const platform::DatabaseTlsPolicy& policy);

/** Logs the end of one connection attempt to host:port under policy: on an open connection (connection) its TLS
 *  version and cipher, or that it is plain; otherwise why it failed (failure). */
void logConnection(st_mysql* connection, const QString& host, unsigned int port,
                   const platform::DatabaseTlsPolicy& policy, const platform::VbError& failure);

} // namespace dblog
