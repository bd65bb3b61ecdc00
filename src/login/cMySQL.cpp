#include "cMySQL.h"

#include "Cp949.h"
#include "DatabaseLog.h"

#include <QDate>
#include <QFile>

#include <errmsg.h>
#include <mysql.h>
#include <mysqld_error.h>

namespace {

const QString CannotConnect = QStringLiteral("데이터베이스 서버에 접속할 수 없습니다.");
const QString CheckInternet = QStringLiteral("인터넷이 연결되어 있는지 확인 해 주세요.");
const QString AccountRefused = QStringLiteral("접속 계정이 거부되었습니다. 관리자에게 문의바랍니다.");
const QString NoDatabase = QStringLiteral("데이터베이스를 찾을 수 없습니다. 관리자에게 문의바랍니다.");
const QString TlsNotOffered =
    QStringLiteral("이 PC의 정책은 암호화 연결(TLS)을 요구하지만 서버가 제공하지 않습니다. 관리자에게 문의바랍니다.");
const QString TlsWithdrawn = QStringLiteral(
    "이 서버는 전에 이 PC와 암호화 연결(TLS)을 했지만 지금은 제공하지 않습니다. 누군가 서버 대신 응답하고 있을 수 "
    "있습니다. 관리자에게 문의바랍니다.");
const QString TlsHandshakeFailed = QStringLiteral("암호화 연결(TLS)을 맺지 못했습니다");
const QString CertificateRefused = QStringLiteral("서버의 인증서를 거부했습니다: ");
const QString CertificateUntrusted = QStringLiteral("이 PC가 신뢰하는 인증 기관이 발급하지 않았습니다.");
const QString CertificateWrongName = QStringLiteral("접속한 서버의 이름이 인증서에 없습니다.");
const QString CertificateExpired =
    QStringLiteral("유효 기간이 지났거나 아직 시작되지 않았습니다 (이 PC의 날짜를 확인해 주세요).");
const QString CertificateNotPinned = QStringLiteral("이 PC의 정책이 지정한 인증서(DatabaseTlsFingerprint)가 아닙니다.");
const QString AskAdministrator = QStringLiteral(" 관리자에게 문의바랍니다.");

// The library's own text when TLS was required and the server's greeting does not offer it.
constexpr char NotOfferedText[] = "SSL is required, but the server does not support it";

using TlsRefusal = cMySQL::TlsRefusal;

// How the library words each refusal: OpenSSL's verification texts on Linux, the Windows error names Schannel's
// texts carry. Matched as parts of the message, ignoring case.
struct RefusalText
{
    const char* text;
    TlsRefusal refusal;
};
constexpr RefusalText RefusalTexts[] = {
    {NotOfferedText, TlsRefusal::NotOffered},
    {"Validation of SSL server certificate failed", TlsRefusal::WrongName}, // OpenSSL: the host name check
    {"CERT_E_CN_NO_MATCH", TlsRefusal::WrongName},
    {"SEC_E_WRONG_PRINCIPAL", TlsRefusal::WrongName},
    {"certificate has expired", TlsRefusal::Expired},
    {"certificate is not yet valid", TlsRefusal::Expired},
    {"CERT_E_EXPIRED", TlsRefusal::Expired},
    {"SEC_E_CERT_EXPIRED", TlsRefusal::Expired},
    {"self-signed certificate", TlsRefusal::Untrusted},
    {"self signed certificate", TlsRefusal::Untrusted},
    {"unable to get local issuer certificate", TlsRefusal::Untrusted},
    {"unable to get issuer certificate", TlsRefusal::Untrusted},
    {"unable to verify the first certificate", TlsRefusal::Untrusted},
    {"Fingerprint verification", TlsRefusal::NotPinned},
    {"CERT_E_UNTRUSTEDROOT", TlsRefusal::Untrusted},
    {"CERT_E_UNTRUSTEDTESTROOT", TlsRefusal::Untrusted},
    {"CERT_E_CHAINING", TlsRefusal::Untrusted},
    {"SEC_E_UNTRUSTED_ROOT", TlsRefusal::Untrusted},
};

// OpenSSL reads its default authorities (on Debian the system's whole bundle, some 20 ms) for every TLS
// connection that names none, whether or not anything is verified. Where nothing is, its default is an empty
// file while the connection is made, and only then, so that nothing started later inherits it. Schannel
// (Windows) reads no such variable.
class NoDefaultAuthorities final
{
public:
    explicit NoDefaultAuthorities(bool active)
        : m_active(active), m_wasSet(qEnvironmentVariableIsSet(Name)), m_saved(qgetenv(Name))
    {
        if (m_active)
            qputenv(Name, QByteArrayLiteral("/dev/null"));
    }
    ~NoDefaultAuthorities()
    {
        if (m_active && m_wasSet)
            qputenv(Name, m_saved);
        else if (m_active)
            qunsetenv(Name);
    }
    NoDefaultAuthorities(const NoDefaultAuthorities&) = delete;
    NoDefaultAuthorities& operator=(const NoDefaultAuthorities&) = delete;

private:
    static constexpr char Name[] = "SSL_CERT_FILE";
    bool m_active, m_wasSet;
    QByteArray m_saved;
};

const char* orNull(const QByteArray& bytes)
{
    return bytes.isEmpty() ? nullptr : bytes.constData();
}

// The server is gone or cannot be reached at all: nothing the account or the statement could change.
bool isUnreachable(int number)
{
    switch (number) {
    case CR_CONNECTION_ERROR:
    case CR_CONN_HOST_ERROR:
    case CR_UNKNOWN_HOST:
    case CR_SERVER_GONE_ERROR:
    case CR_SERVER_LOST:
    case CR_SERVER_LOST_EXTENDED: return true;
    default: return false;
    }
}

// The connection died since the last statement (server restarted, or the connection was killed). Over TLS the
// end of the connection is a TLS error (no TLS goodbye came before it).
bool isConnectionLost(int number)
{
    return number == CR_SERVER_GONE_ERROR || number == CR_SERVER_LOST || number == ER_CONNECTION_KILLED ||
           number == CR_SSL_CONNECTION_ERROR;
}

} // namespace

HostAndPort splitHostPort(const QString& host, unsigned int defaultPort)
{
    const auto portOf = [](const QString& text) -> unsigned int {
        bool ok = false;
        const unsigned int port = text.toUInt(&ok);
        return ok && port > 0 && port <= 65535 ? port : 0;
    };
    // "[v6 address]:port"
    if (host.startsWith(u'[')) {
        const qsizetype close = host.indexOf(QStringLiteral("]:"));
        if (close > 0) {
            if (const unsigned int port = portOf(host.mid(close + 2)))
                return {host.mid(1, close - 1), port};
        }
        return {host, defaultPort};
    }
    const qsizetype colon = host.indexOf(u':');
    if (colon > 0 && host.lastIndexOf(u':') == colon) {
        if (const unsigned int port = portOf(host.mid(colon + 1)))
            return {host.left(colon), port};
    }
    return {host, defaultPort};
}

void cMySQL::CloseConnection::operator()(st_mysql* mysql) const
{
    mysql_close(mysql);
}

void cMySQL::FreeResult::operator()(st_mysql_res* result) const
{
    mysql_free_result(result);
}

cMySQL::cMySQL(const platform::Services& services) : m_services(services) {}

cMySQL::~cMySQL()
{
    Close();
}

bool cMySQL::real_connect(const QString& host, const QString& user, const QString& password, const QString& database,
                          unsigned int port, const QString& socketName, unsigned long clientFlags, bool noMessage,
                          const QString& characterSet)
{
    const HostAndPort target = splitHostPort(host, port);
    m_host = support::cp949::fromUnicode(target.host);
    m_port = target.port;
    m_user = support::cp949::fromUnicode(user);
    m_password = support::cp949::fromUnicode(password);
    m_database = support::cp949::fromUnicode(database);
    m_socket = support::cp949::fromUnicode(socketName);
    m_charset = characterSet.isEmpty() ? QByteArray(DefaultCharacterSet) : characterSet.toLatin1();
    m_clientFlags = clientFlags;

    // The machine's policy may forbid this host, or every connection, before anything is dialled.
    bool connected = false;
    if (const QString refused = platform::databaseConnectionRefusal(m_services.databaseTls, target.host);
        !refused.isEmpty()) {
        m_connectError =
            platform::VbError(platform::vberr::PermissionDenied, refused, QStringLiteral("cMysql::real_connect"));
    } else {
        m_connectCalled = true;
        connected = open();
    }
    dblog::logConnection(m_mysql.get(), target.host, m_port, m_services.databaseTls, m_connectError);
    if (connected)
        return true;
    if (!noMessage)
        m_services.messageBox->show(connectFailureMessage(), {}, platform::MessageIcon::Error);
    return false;
}

bool cMySQL::open()
{
    // Once a server has spoken TLS with this PC, clear text from it can only be someone else's doing.
    const bool spokeTls = spokeTlsBefore();
    bool opened = false;
    switch (m_services.databaseTls.mode) {
    case platform::DatabaseTls::Prefer:
        // A server whose TLS this client cannot speak (an old protocol version, a weak key) was used before TLS
        // was asked for, and still is, without TLS, as long as it has never spoken TLS with this PC.
        opened = spokeTls ? openWith(TlsAttempt::Required)
                          : openWith(TlsAttempt::Preferred) ||
                                (m_tlsRefusal == TlsRefusal::Handshake && openWith(TlsAttempt::Plain));
        break;
    case platform::DatabaseTls::Require: opened = openWith(TlsAttempt::Required); break;
    case platform::DatabaseTls::Verify: opened = openWith(TlsAttempt::Verified); break;
    }
    if (opened && mysql_get_ssl_cipher(m_mysql.get()))
        rememberTls();
    if (!opened && spokeTls && m_tlsRefusal == TlsRefusal::NotOffered)
        m_tlsRefusal = TlsRefusal::Withdrawn;
    return opened;
}

QString cMySQL::tlsMemoryKey() const
{
    return support::cp949::toUnicode(m_host).toLower() + u':' + QString::number(m_port);
}

bool cMySQL::spokeTlsBefore() const
{
    if (!m_services.settings)
        return false;
    const QString stored = m_services.settings->read(QString::fromUtf16(TlsMemoryApp),
                                                     QString::fromUtf16(TlsMemorySection), tlsMemoryKey());
    if (stored.isEmpty())
        return false;
    // A value this program did not write counts, so that a damaged setting never lets clear text in.
    const QDate date = QDate::fromString(stored, Qt::ISODate);
    return !date.isValid() || date.daysTo(QDate::currentDate()) <= TlsMemoryDays;
}

void cMySQL::rememberTls()
{
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    const QString app = QString::fromUtf16(TlsMemoryApp), section = QString::fromUtf16(TlsMemorySection);
    if (m_services.settings && m_services.settings->read(app, section, tlsMemoryKey()) != today)
        m_services.settings->write(app, section, tlsMemoryKey(), today);
}

bool cMySQL::openWith(TlsAttempt tls)
{
    free_result();
    m_mysql.reset(mysql_init(nullptr));
    if (!m_mysql) {
        m_connectError = platform::VbError(CR_OUT_OF_MEMORY, QStringLiteral("MySQL client ran out of memory"),
                                           QStringLiteral("cMysql::real_connect"));
        return false;
    }

    // The library's defaults wait forever on a server that accepts and never answers.
    const unsigned int connectTimeout = ConnectTimeoutSeconds;
    const unsigned int ioTimeout = ReadWriteTimeoutSeconds;
    // A lost connection is re-established by query() itself, once, where it knows the statement is safe to
    // resend.
    const my_bool reconnect = 0;
    mysql_options(m_mysql.get(), MYSQL_OPT_CONNECT_TIMEOUT, &connectTimeout);
    mysql_options(m_mysql.get(), MYSQL_OPT_READ_TIMEOUT, &ioTimeout);
    mysql_options(m_mysql.get(), MYSQL_OPT_WRITE_TIMEOUT, &ioTimeout);
    mysql_options(m_mysql.get(), MYSQL_OPT_RECONNECT, &reconnect);
    mysql_options(m_mysql.get(), MYSQL_SET_CHARSET_NAME, m_charset.constData());

    // TLS is asked for through options; the client flags stay as the caller gave them. Asked for, TLS is used
    // whenever the server offers it, and the certificate is checked only when verifying.
    const my_bool on = 1;
    const QByteArray caFile = QFile::encodeName(m_services.databaseTls.caFile);
    if (tls != TlsAttempt::Plain)
        mysql_options(m_mysql.get(), MYSQL_OPT_SSL_ENFORCE, &on);
    // A pinned certificate is checked over any TLS; with Verified, its authority and name are checked as well.
    // The library refuses a greeting without TLS before it sends anything only when it has a certificate to
    // check, verified or by fingerprint: without a pin, an empty fingerprint asks for the refusal and checks
    // nothing.
    const QByteArray fingerprint = m_services.databaseTls.fingerprint.toLatin1();
    if (tls != TlsAttempt::Plain && !fingerprint.isEmpty())
        mysql_options(m_mysql.get(), MARIADB_OPT_TLS_PEER_FP, fingerprint.constData());
    else if (tls == TlsAttempt::Required)
        mysql_options(m_mysql.get(), MARIADB_OPT_TLS_PEER_FP, "");
    if (tls == TlsAttempt::Verified) {
        mysql_options(m_mysql.get(), MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &on);
        if (!caFile.isEmpty())
            mysql_options(m_mysql.get(), MYSQL_OPT_SSL_CA, caFile.constData());
    }

    const NoDefaultAuthorities noAuthorities(tls == TlsAttempt::Preferred || tls == TlsAttempt::Required);
    const bool connected = mysql_real_connect(m_mysql.get(), orNull(m_host), m_user.constData(), m_password.constData(),
                                              orNull(m_database), m_port, orNull(m_socket), m_clientFlags) != nullptr;
    m_tlsRefusal = TlsRefusal::None;
    if (!connected) {
        m_connectError = currentError("real_connect");
        m_mysql.reset();
    } else if ((tls == TlsAttempt::Required || tls == TlsAttempt::Verified) && !mysql_get_ssl_cipher(m_mysql.get())) {
        // Whatever the library decided, a connection that had to be TLS and is not carries no statement.
        m_connectError = platform::VbError(CR_SSL_CONNECTION_ERROR, QString::fromLatin1(NotOfferedText),
                                           QStringLiteral("cMysql::real_connect"));
        m_mysql.reset();
    } else {
        m_connectError = {};
        return true;
    }
    if (m_connectError.number() != CR_SSL_CONNECTION_ERROR)
        return false;
    m_tlsRefusal = TlsRefusal::Handshake;
    for (const RefusalText& known : RefusalTexts) {
        if (m_connectError.description().contains(QLatin1StringView(known.text), Qt::CaseInsensitive)) {
            m_tlsRefusal = known.refusal;
            break;
        }
    }
    // Unverified and unpinned, no certificate is refused: such a text only tells that the handshake failed after
    // it came.
    if (tls != TlsAttempt::Verified && m_tlsRefusal != TlsRefusal::NotOffered && m_tlsRefusal != TlsRefusal::NotPinned)
        m_tlsRefusal = TlsRefusal::Handshake;
    return false;
}

bool cMySQL::IsConnectFailure(const platform::VbError& error)
{
    return error.source() == QStringLiteral("cMysql::real_connect");
}

QString cMySQL::connectFailureMessage() const
{
    const platform::VbError& error = m_connectError;
    const QString lineBreak = QStringLiteral("\r\n");
    switch (error.number()) {
    case ER_ACCESS_DENIED_ERROR:
    case ER_DBACCESS_DENIED_ERROR:
    case ER_ACCESS_DENIED_NO_PASSWORD_ERROR: return CannotConnect + lineBreak + AccountRefused;
    case ER_BAD_DB_ERROR: return CannotConnect + lineBreak + NoDatabase;
    case platform::vberr::PermissionDenied: return CannotConnect + lineBreak + error.description();
    default: break;
    }
    switch (m_tlsRefusal) {
    case TlsRefusal::NotOffered: return CannotConnect + lineBreak + TlsNotOffered;
    case TlsRefusal::Withdrawn: return CannotConnect + lineBreak + TlsWithdrawn;
    case TlsRefusal::Handshake:
        return CannotConnect + lineBreak + TlsHandshakeFailed + QStringLiteral(" (") + error.description() +
               QStringLiteral(").") + AskAdministrator;
    case TlsRefusal::Untrusted:
        return CannotConnect + lineBreak + CertificateRefused + CertificateUntrusted + AskAdministrator;
    case TlsRefusal::WrongName:
        return CannotConnect + lineBreak + CertificateRefused + CertificateWrongName + AskAdministrator;
    case TlsRefusal::Expired: return CannotConnect + lineBreak + CertificateRefused + CertificateExpired;
    case TlsRefusal::NotPinned:
        return CannotConnect + lineBreak + CertificateRefused + CertificateNotPinned + AskAdministrator;
    case TlsRefusal::None: break;
    }
    if (isUnreachable(error.number()))
        return CannotConnect + lineBreak + CheckInternet;
    return CannotConnect + lineBreak + QStringLiteral("(") + QString::number(error.number()) + QStringLiteral(": ") +
           error.description() + QStringLiteral(")");
}

platform::VbError cMySQL::currentError(const char* operation) const
{
    return platform::VbError(int(mysql_errno(m_mysql.get())),
                             support::cp949::toUnicode(QByteArray(mysql_error(m_mysql.get()))),
                             QStringLiteral("cMysql::") + QString::fromLatin1(operation));
}

void cMySQL::runOnce(const QByteArray& statement)
{
    if (mysql_real_query(m_mysql.get(), statement.constData(), static_cast<unsigned long>(statement.size())) != 0)
        throw currentError("query");
}

void cMySQL::query(const QByteArray& statement, bool noResult, std::shared_ptr<Recordset>& rs)
{
    rs.reset();
    free_result();
    m_affectedRows = -1;
    // Not open: never connected, or a reconnect failed while the server was away. Connect again first, so
    // that the next statement after the server is back works.
    if (!m_mysql) {
        if (!m_connectCalled)
            throw platform::VbError(CR_SERVER_GONE_ERROR, QStringLiteral("Not connected to the database server"),
                                    QStringLiteral("cMysql::query"));
        if (!open())
            throw platform::VbError(m_connectError.number(), m_connectError.description(),
                                    QStringLiteral("cMysql::query"));
    }

    try {
        runOnce(statement);
    } catch (const platform::VbError& error) {
        if (!isConnectionLost(error.number()))
            throw;
        // The server restarted (or dropped us) since the last statement: reconnect once and send it again.
        if (!open())
            throw platform::VbError(m_connectError.number(), m_connectError.description(),
                                    QStringLiteral("cMysql::query"));
        runOnce(statement);
    }

    m_result.reset(mysql_store_result(m_mysql.get()));
    if (!m_result && mysql_field_count(m_mysql.get()) != 0)
        throw currentError("query");
    const my_ulonglong affected = mysql_affected_rows(m_mysql.get());
    m_affectedRows = affected == static_cast<my_ulonglong>(-1) ? -1 : qint64(affected);
    if (!m_result) {
        if (!noResult)
            rs = std::make_shared<Recordset>();
        return;
    }
    if (noResult)
        return;

    const unsigned int count = mysql_num_fields(m_result.get());
    const MYSQL_FIELD* fields = mysql_fetch_fields(m_result.get());
    QStringList names;
    names.reserve(count);
    for (unsigned int i = 0; i < count; ++i)
        names.append(support::cp949::toUnicode(QByteArray(fields[i].name, qsizetype(fields[i].name_length))));

    QList<Recordset::Row> rows;
    rows.reserve(qsizetype(mysql_num_rows(m_result.get())));
    while (MYSQL_ROW row = mysql_fetch_row(m_result.get())) {
        const unsigned long* lengths = mysql_fetch_lengths(m_result.get());
        Recordset::Row values;
        values.reserve(count);
        for (unsigned int i = 0; i < count; ++i) {
            if (row[i])
                values.append(support::cp949::toUnicode(QByteArray(row[i], qsizetype(lengths[i]))));
            else
                values.append(QVariant());
        }
        rows.append(std::move(values));
    }
    rs = std::make_shared<Recordset>(std::move(names), std::move(rows));
}

qint64 cMySQL::affected_rows() const
{
    return m_affectedRows;
}

void cMySQL::free_result()
{
    m_result.reset();
}

int cMySQL::State() const
{
    return m_mysql ? 1 : 0;
}

void cMySQL::Close()
{
    free_result();
    m_mysql.reset();
}
