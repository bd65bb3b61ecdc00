#pragma once

#include "Result.h"
#include "Services.h"

#include <QString>

#include <memory>

class cMySQL;

/** The login rules against the in-house database, without windows: which user this PC may log in as, the
 *  login connection, and the password check. The login dialog shows what it decides. */
class LoginSession final
{
public:
    /** Who this PC may log in as, when no unexpected database error stopped the look-up. */
    enum class Opening {
        Allowed,       // userId() may log in
        UnknownPc,     // no user is registered for this PC's MAC addresses
        ConnectFailed, // the server could not be reached; the client has shown why
    };

    /** How a password check ended, when no database error stopped it. */
    enum class Check {
        Accepted,      // the database knows the user with this password
        NotAccepted,   // rows came back, but CheckLogin turned them down
        WrongPassword, // no such user, wrong password, or a hidden account: no difference is made
    };

    explicit LoginSession(const platform::Services& services);
    /** Releases the login connection (its result first). */
    ~LoginSession();
    LoginSession(const LoginSession&) = delete;
    LoginSession& operator=(const LoginSession&) = delete;

    /** Asks the allowlist for this PC's user. Any other database error comes back as the error, for the
     *  caller to report. */
    platform::Result<Opening> FindUser();
    /** The user id the allowlist assigns to this PC (after FindUser). */
    const QString& userId() const { return m_userId; }
    /** Opens the login connection (after FindUser allowed the PC); false when the server could not be reached:
     *  the client has shown why. */
    bool Connect();
    /** This PC's first MAC address candidate (shown when the PC is refused). */
    QString macAddress() const;

    /** Checks password for userId() on the login connection (Connect first). A database error comes back as the
     *  error; the connection stays usable for the next check. */
    platform::Result<Check> CheckPassword(const QString& password);

private:
    platform::Services m_services;
    QString m_userId;
    std::shared_ptr<cMySQL> m_connection;
};
