#include "LoginSession.h"

#include "LoginSql.h"
#include "cMySQL.h"
#include "modMainShared.h"
#include "modPcAllowlist.h"

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
        return userId.error();
    }
    if (userId->isEmpty())
        return Opening::UnknownPc;
    m_userId = *userId;
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
        return error;
    }
    const qint64 rows = m_connection->affected_rows();
    Check check = Check::WrongPassword;
    if (rows >= 1)
        check = rs && modMain::CheckLogin(*rs) ? Check::Accepted : Check::NotAccepted;
    modMain::CloseIfOpen(rs);
    return check;
}
