#pragma once

#include "DiagnosticLog.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// How the connection to the in-house database is protected: a machine-wide policy IT sets (Group Policy's
// registry key on Windows, a root-owned file under /etc elsewhere). Nothing of the user's can weaken it, and
// nothing the program fails to understand weakens it either.
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
    /** The only names the database may have; none: whichever the server list names. */
    std::optional<QStringList> hosts;
    /** The SHA-1 of the one certificate the server may show, 40 lowercase hex digits; empty: none pinned. */
    QString fingerprint;
    /** Not empty: no connection may be made at all, and why (a value that cannot be used as it is set). */
    QString refusal;
    /** Not empty: what start-up says once, because part of the policy was not understood. */
    QString notice;
    /** IT's switch for the diagnostic log, kept in the same place as the rest of the machine policy. */
    PolicySwitch diagnosticLog = PolicySwitch::NotSet;
};

/** How a policy value is kept: text (REG_SZ) or a number (REG_DWORD); the Linux file holds both as text. */
enum class PolicyValueType { Text, Number };

struct MachinePolicyValue final
{
    const char16_t* name;
    PolicyValueType type;
    /** Read on Windows too, and offered by the Group Policy template. */
    bool onWindows;
};

/** The policy's value names: in the registry key, or as keys of the policy file. */
inline constexpr char16_t DatabaseTlsName[] = u"DatabaseTls";
inline constexpr char16_t DatabaseTlsCaFileName[] = u"DatabaseTlsCaFile";
inline constexpr char16_t DatabaseHostsName[] = u"DatabaseHosts";
inline constexpr char16_t DatabaseTlsFingerprintName[] = u"DatabaseTlsFingerprint";

/** Every value of the machine policy: the readers accept these and no others, and a test holds the Group Policy
 *  template against this table. A new value is a row here, its meaning in interpretMachinePolicy and its words in
 *  the template (the test names what the template lacks). */
inline constexpr MachinePolicyValue MachinePolicyValues[] = {
    {DatabaseTlsName, PolicyValueType::Text, true},
    // Windows trusts its machine certificate store, where IT deploys its authority.
    {DatabaseTlsCaFileName, PolicyValueType::Text, false},
    {DatabaseHostsName, PolicyValueType::Text, true},
    {DatabaseTlsFingerprintName, PolicyValueType::Text, true},
    {DiagnosticLogName, PolicyValueType::Number, true},
};

/** The row of the value called name (case ignored) that this system reads; null for any other name. */
const MachinePolicyValue* findMachinePolicyValue(const QString& name);

/** One value as a reader found it: its name as the table spells it, its text (a number in decimal), and where it
 *  was read, for IT to find it. */
struct MachinePolicyEntry final
{
    QString name;
    QString value;
    QString where;
};

/** The mode a raw "DatabaseTls" value asks for: "prefer", "require" or "verify" in any case, blanks around
 *  ignored; blank: Prefer. Nothing for a value that is none of them. */
std::optional<DatabaseTls> parseDatabaseTls(const QString& raw);

/** The policy that entries make. problems are what the reader could not understand ("where: what"). Anything not
 *  understood, there or among the entries, makes the mode at least Require and is named in the notice; a host list
 *  or a fingerprint that cannot be understood refuses every connection. "DiagnosticLog" is 0 (off) or 1 (on). A
 *  blank value counts as absent. */
DatabaseTlsPolicy interpretMachinePolicy(const QList<MachinePolicyEntry>& entries, QStringList problems);

/** Why no connection to host ("name", without a port) may be made under policy; empty when one may. */
QString databaseConnectionRefusal(const DatabaseTlsPolicy& policy, const QString& host);

/** Where this system keeps the policy: the registry key
 *  "HKEY_LOCAL_MACHINE\SOFTWARE\Policies\<company>\NorvaQuillet" on Windows, "/etc/norvaquillet/policy.conf"
 *  elsewhere. */
QString machinePolicyLocation();

/** The policy kept at location (machinePolicyLocation() for the real one; on Windows a key under
 *  HKEY_LOCAL_MACHINE, or for tests HKEY_CURRENT_USER). Nothing there: Prefer. On Linux only a regular file is
 *  read. A CA file counts only when it, the policy file and every folder above either belong to root and nobody
 *  else may change them; otherwise Verify refuses every connection, naming the file and why. Verify without a CA
 *  file trusts the system's CA bundle. */
DatabaseTlsPolicy readDatabaseTlsPolicy(const QString& location);

} // namespace platform
