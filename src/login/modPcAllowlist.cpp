#include "modPcAllowlist.h"

#include "LoginSql.h"
#include "cMySQL.h"
#include "modMainShared.h"

namespace modPcAllowlist {

QString GetMacAddress(const platform::Services& services)
{
    return services.machine->macAddress();
}

QString GetDbServerHost()
{
    return modMain::DbServerHost;
}

bool ConnectLoginAccount(cMySQL& connection)
{
    return connection.real_connect(
        GetDbServerHost(), QString::fromUtf16(LoginSql::AccountUser), QString::fromUtf16(LoginSql::AccountPassword),
        QString::fromUtf16(LoginSql::AccountDatabase), LoginSql::AccountPort, {}, 0, false, {});
}

platform::Result<QString> GetAllowedUserId(const platform::Services& services)
{
    // Without an address there is nothing to look up: a stray row with an empty address must not admit
    // every PC that has no network adapter.
    const QStringList candidates = services.machine->macAddresses();
    if (candidates.isEmpty())
        return QString();

    auto connection = std::make_shared<cMySQL>(services);
    if (!ConnectLoginAccount(*connection))
        return connection->lastConnectError();

    QString userId;
    bool registered = false;
    for (qsizetype i = 0; i < candidates.size() && !registered; ++i) {
        std::shared_ptr<Recordset> rs;
        try {
            connection->query(LoginSql::AllowlistStatement(candidates.at(i)), false, rs);
        } catch (const platform::VbError& error) {
            return error;
        }
        registered = rs && !rs->atEnd();
        if (registered)
            userId = rs->text(QStringLiteral("user_id"));
        modMain::CloseIfOpen(rs);
    }
    modMain::CloseIfOpen(connection);
    return userId;
}

} // namespace modPcAllowlist
