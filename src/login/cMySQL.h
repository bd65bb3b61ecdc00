#pragma once

#include "Recordset.h"
#include "Services.h"
#include "VbError.h"

#include <QByteArray>
#include <QString>

#include <memory>

struct st_mysql;
struct st_mysql_res;

/** Where a host text points: "name:port" selects the port, a bare name the default one. */
struct HostAndPort final
{
    QString host;
    unsigned int port = 3306;
};
HostAndPort splitHostPort(const QString& host, unsigned int defaultPort);

/** One connection to the in-house MySQL server. Statements go out as code-page-949 bytes on a latin1
 *  connection (every byte passes unchanged); values come back decoded from code page 949. The connection is
 *  TLS whenever the server offers it, and as the machine's policy (services.databaseTls) demands; a server
 *  that spoke TLS with this PC in the last year (kept in the user's settings, services.settings) gets no
 *  connection without it. Closing happens when the object is released. */
class cMySQL final
{
public:
    /** The character set used when the caller names none: the one the stored data was written in. */
    static constexpr const char* DefaultCharacterSet = "latin1";
    /** Seconds to wait for a connection, and for each read and write of a statement. */
    static constexpr unsigned int ConnectTimeoutSeconds = 10;
    static constexpr unsigned int ReadWriteTimeoutSeconds = 30;

    explicit cMySQL(const platform::Services& services);
    ~cMySQL();
    cMySQL(const cMySQL&) = delete;
    cMySQL& operator=(const cMySQL&) = delete;

    /** Connects; true on success. A "name:port" host overrides port; an empty characterSet means latin1.
     *  On failure, unless noMessage, shows the Korean connection-failure message itself. */
    bool real_connect(const QString& host, const QString& user, const QString& password, const QString& database,
                      unsigned int port = 3306, const QString& socketName = {}, unsigned long clientFlags = 0,
                      bool noMessage = false, const QString& characterSet = {});

    /** Runs statement (code-page-949 bytes). Unless noResult, rs receives the rows it returned (empty
     *  when the statement returns none). A connection that is not open (a reconnect failed earlier) is opened
     *  again first with real_connect's settings; one lost since the last statement is re-established once and
     *  the statement sent again. Throws platform::VbError with the server's number and message. */
    void query(const QByteArray& statement, bool noResult, std::shared_ptr<Recordset>& rs);

    /** The rows the last statement returned, or changed; -1 after a failure. */
    qint64 affected_rows() const;
    /** Releases the last statement's result. */
    void free_result();

    /** 1 while connected, 0 otherwise. */
    int State() const;
    /** Closes the connection. */
    void Close();

    /** Why the last real_connect failed (number 0 when it did not). */
    const platform::VbError& lastConnectError() const { return m_connectError; }

    /** True for the error of a failed real_connect, whose message real_connect has shown already. */
    static bool IsConnectFailure(const platform::VbError& error);

    /** The settings (application, section) that keep, per "host:port", the date this user last logged in to
     *  that server over TLS. */
    static constexpr char16_t TlsMemoryApp[] = u"NorvaQuillet";
    static constexpr char16_t TlsMemorySection[] = u"DatabaseTls";
    /** How long a server that spoke TLS is held to it. */
    static constexpr qint64 TlsMemoryDays = 365;

    /** Why a connection could not be made, as far as TLS goes. */
    enum class TlsRefusal {
        None,       // not for TLS
        NotOffered, // TLS was a must and the greeting does not offer it
        Withdrawn,  // the greeting does not offer TLS, although the server spoke TLS with this PC before
        Handshake,  // the TLS handshake failed, or the connection broke during it
        Untrusted,  // the certificate does not chain to an authority this PC trusts
        WrongName,  // the certificate does not name the host dialled
        Expired,    // the certificate is outside its validity period (or this PC's clock is wrong)
    };

private:
    // What one connection attempt asks of TLS. A server without TLS is sent nothing when TLS is a must.
    enum class TlsAttempt {
        Plain,     // nothing: the server as it always was
        Preferred, // TLS when the server offers it
        Required,  // TLS or nothing, the certificate taken as it is
        Verified,  // TLS or nothing, with a verified certificate
    };

    bool open();
    bool openWith(TlsAttempt tls);
    QString connectFailureMessage() const;
    QString tlsMemoryKey() const;
    bool spokeTlsBefore() const;
    void rememberTls();
    platform::VbError currentError(const char* operation) const;
    void runOnce(const QByteArray& statement);

    // The client library's handles, released on every path: the result before its connection.
    struct CloseConnection final
    {
        void operator()(st_mysql* mysql) const;
    };
    struct FreeResult final
    {
        void operator()(st_mysql_res* result) const;
    };

    platform::Services m_services;
    std::unique_ptr<st_mysql, CloseConnection> m_mysql;
    std::unique_ptr<st_mysql_res, FreeResult> m_result;
    qint64 m_affectedRows = -1;
    platform::VbError m_connectError;
    TlsRefusal m_tlsRefusal = TlsRefusal::None;

    // What real_connect was given, for the one reconnect after a lost connection.
    QByteArray m_host, m_user, m_password, m_database, m_socket, m_charset;
    unsigned int m_port = 3306;
    unsigned long m_clientFlags = 0;
    bool m_connectCalled = false;
};
