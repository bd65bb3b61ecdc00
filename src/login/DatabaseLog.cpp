#include "DatabaseLog.h"

#include "LogCategories.h"

#include <mysql.h>

namespace dblog {

QString connectorVersion()
{
    return QStringLiteral("MariaDB Connector/C ") + QString::fromLatin1(mysql_get_client_info());
}

QString policyText(const platform::DatabaseTlsPolicy& policy)
{
    QString text;
    switch (policy.mode) {
    case platform::DatabaseTls::Prefer: text = QStringLiteral("prefer"); break;
    case platform::DatabaseTls::Require: text = QStringLiteral("require"); break;
    case platform::DatabaseTls::Verify: text = QStringLiteral("verify"); break;
    }
    if (!policy.caFile.isEmpty())
        text += QStringLiteral(", CA file ") + policy.caFile;
    return text;
}

void logConnection(st_mysql* connection, const QString& host, unsigned int port,
                   const platform::DatabaseTlsPolicy& policy, const platform::VbError& failure)
{
    if (!platform::lcDatabase().isWarningEnabled())
        return;
    const QString where = host + u':' + QString::number(port) + QStringLiteral(" (policy ") + policyText(policy) + u')';
    if (!connection) {
        // The connector's own words name the host and the cause; a statement is never part of them.
        qCWarning(platform::lcDatabase).noquote()
            << QStringLiteral("cannot connect to ") + where + QStringLiteral(": error ") +
                   QString::number(failure.number()) + QStringLiteral(", ") + failure.description();
        return;
    }
    const char* cipher = mysql_get_ssl_cipher(connection);
    const char* version = nullptr;
    if (cipher)
        mariadb_get_infov(connection, MARIADB_CONNECTION_TLS_VERSION, &version);
    const QString tls = cipher ? QStringLiteral("TLS ") + QString::fromLatin1(version ? version : "?") +
                                     QStringLiteral(", ") + QString::fromLatin1(cipher)
                               : QStringLiteral("plain, without TLS");
    qCInfo(platform::lcDatabase).noquote() << QStringLiteral("connected to ") + where + QStringLiteral(": ") + tls +
                                                  QStringLiteral(", server ") +
                                                  QString::fromLatin1(mysql_get_server_info(connection));
}

} // namespace dblog
