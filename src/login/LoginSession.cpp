#include "LoginSession.h"

#include "DiagnosticLog.h"
#include "LogCategories.h"
#include "LoginSql.h"
#include "cMySQL.h"
#include "modMainShared.h"
#include "modPcAllowlist.h"

namespace {

// A failed statement's error as the log keeps it: the server's words may quote the statement, never kept.
QString statementFailure(const platform::VbError& error)
{
    return QStringLiteral("error ") + QString::number(error.number()) + QStringLiteral(", ") +
           platform::withoutQuotedText(error.description());
}

} // namespace

LoginSession::LoginSession(const platform::Services& services) : m_services(services) {}

LoginSession::~LoginSession()
{
    if (m_connection) {
        m_connection->free_result();
        m_connection.reset();
    }
}

QString LoginSession::macAddress() const
{
    return modPcAllowlist::GetMacAddress(m_services);
}

platform::Result<LoginSession::Opening> LoginSession::FindUser()
{
    const platform::Result<QString> userId = modPcAllowlist::GetAllowedUserId(m_services);
    if (!userId) {
        if (cMySQL::IsConnectFailure(userId.error()))
            return Opening::ConnectFailed;
        qCWarning(platform::lcLogin).noquote() << "allowlist not read:" << statementFailure(userId.error());
        return userId.error();
    }
    if (userId->isEmpty()) {
        qCWarning(platform::lcLogin).noquote() << "this PC is not on the allowlist; its MAC addresses:"
                                               << m_services.machine->macAddresses().join(QStringLiteral(", "));
        return Opening::UnknownPc;
    }
    m_userId = *userId;
    qCInfo(platform::lcLogin).noquote() << "the allowlist names the user" << m_userId << "for this PC";
    return Opening::Allowed;
}

bool LoginSession::Connect()
{
    m_connection = std::make_shared<cMySQL>(m_services);
    return modPcAllowlist::ConnectLoginAccount(*m_connection);
}

platform::Result<LoginSession::Check> LoginSession::CheckPassword(const QString& password)
{
    if (!m_connection)
        return platform::makeVbError(platform::vberr::InvalidProcedureCall, QStringLiteral("LoginSession"));
    std::shared_ptr<Recordset> rs;
    try {
        m_connection->query(LoginSql::LoginStatement(m_userId, password), false, rs);
    } catch (const platform::VbError& error) {
        qCWarning(platform::lcLogin).noquote()
            << "user" << m_userId + u':' << "password check failed," << statementFailure(error);
        return error;
    }
    const qint64 rows = m_connection->affected_rows();
    Check check = Check::WrongPassword;
    if (rows >= 1)
        check = rs && modMain::CheckLogin(*rs) ? Check::Accepted : Check::NotAccepted;
    modMain::CloseIfOpen(rs);
    if (check == Check::Accepted)
        qCInfo(platform::lcLogin).noquote() << "user" << m_userId + u':' << "password accepted";
    else
        qCWarning(platform::lcLogin).noquote()
            << "user" << m_userId + u':' << (check == Check::NotAccepted ? "turned down" : "wrong password");
    return check;
}
