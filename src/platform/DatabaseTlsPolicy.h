#pragma once

#include <QString>

// How the connection to the in-house database is protected: a machine-wide policy IT sets (Group Policy's
// registry key on Windows, a root-owned file under /etc elsewhere). Nothing of the user's can weaken it.
namespace platform {

/** How much TLS the database connection insists on; each level includes the one before. */
enum class DatabaseTls {
    /** TLS whenever the server offers it; a server without TLS is used as it is. The default. */
    Prefer,
    /** TLS or no connection: a server without TLS is refused before anything is sent to it. */
    Require,
    /** As Require, and the server's certificate must chain to a trusted authority and name the host dialled. */
    Verify,
};

struct DatabaseTlsPolicy final
{
    DatabaseTls mode = DatabaseTls::Prefer;
    /** For Verify: the certificate authorities to trust (a PEM file); empty: the system's own. */
    QString caFile;
};

/** The policy's value names: in the registry key, or as keys of the policy file. */
inline constexpr char16_t DatabaseTlsName[] = u"DatabaseTls";
inline constexpr char16_t DatabaseTlsCaFileName[] = u"DatabaseTlsCaFile";

/** The mode a raw "DatabaseTls" value asks for: "prefer", "require" or "verify" in any case, blanks around
 *  ignored. Absent (null), blank or unknown: Prefer, the default, so that a value nobody understands can
 *  never make the connection weaker than leaving the value out. */
DatabaseTls parseDatabaseTls(const QString& raw);

/** Where this system keeps the policy: the registry key
 *  "HKEY_LOCAL_MACHINE\SOFTWARE\Policies\<company>\NorvaQuillet" on Windows, "/etc/norvaquillet/policy.conf"
 *  elsewhere. */
QString machinePolicyLocation();

/** The policy kept at location (machinePolicyLocation() for the real one; on Windows a key under
 *  HKEY_LOCAL_MACHINE, or for tests HKEY_CURRENT_USER). Nothing there: Prefer. On Linux a
 *  file, or its folder, that root does not own alone is not trusted with a CA file (its mode still counts: it
 *  can only ask for more), nor is a CA file that root does not own alone; Verify without a trusted CA file uses
 *  the system's CA bundle. */
DatabaseTlsPolicy readDatabaseTlsPolicy(const QString& location);

} // namespace platform
