#include "cMySQL.h"

#include "Cp949.h"

#include <errmsg.h>
#include <mysql.h>
#include <mysqld_error.h>

namespace {

const QString CannotConnect = QStringLiteral("데이터베이스 서버에 접속할 수 없습니다.");
const QString CheckInternet = QStringLiteral("인터넷이 연결되어 있는지 확인 해 주세요.");
const QString AccountRefused = QStringLiteral("접속 계정이 거부되었습니다. 관리자에게 문의바랍니다.");
const QString NoDatabase = QStringLiteral("데이터베이스를 찾을 수 없습니다. 관리자에게 문의바랍니다.");

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

// The connection died since the last statement (server restarted, or the connection was killed).
bool isConnectionLost(int number)
{
    return number == CR_SERVER_GONE_ERROR || number == CR_SERVER_LOST || number == ER_CONNECTION_KILLED;
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
    m_connectCalled = true;

    if (open())
        return true;
    if (!noMessage)
        m_services.messageBox->show(connectFailureMessage(m_connectError), {}, platform::MessageIcon::Error);
    return false;
}

bool cMySQL::open()
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

    if (!mysql_real_connect(m_mysql.get(), orNull(m_host), m_user.constData(), m_password.constData(),
                            orNull(m_database), m_port, orNull(m_socket), m_clientFlags)) {
        m_connectError = currentError("real_connect");
        m_mysql.reset();
        return false;
    }
    m_connectError = {};
    return true;
}

bool cMySQL::IsConnectFailure(const platform::VbError& error)
{
    return error.source() == QStringLiteral("cMysql::real_connect");
}

QString cMySQL::connectFailureMessage(const platform::VbError& error)
{
    const QString lineBreak = QStringLiteral("\r\n");
    switch (error.number()) {
    case ER_ACCESS_DENIED_ERROR:
    case ER_DBACCESS_DENIED_ERROR:
    case ER_ACCESS_DENIED_NO_PASSWORD_ERROR: return CannotConnect + lineBreak + AccountRefused;
    case ER_BAD_DB_ERROR: return CannotConnect + lineBreak + NoDatabase;
    default: break;
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
