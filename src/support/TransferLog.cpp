#include "TransferLog.h"

#include "LogCategories.h"

#include <QUrl>

#include <curl/curl.h>

namespace support::http {

QString addressForLog(const QString& url)
{
    return QUrl(url, QUrl::TolerantMode).toDisplayString(QUrl::RemoveUserInfo);
}

QString libraryVersion()
{
    // Not curl_version(): naming every library it could use starts some of them (LDAP reads its configuration).
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    return QStringLiteral("libcurl ") + QString::fromLatin1(info->version) + QStringLiteral(" (") +
           QString::fromLatin1(info->ssl_version ? info->ssl_version : "no TLS") + u')';
}

void logRoute(const QString& url, const QByteArray& proxy, const platform::VbError& failure, RouteOutcome outcome)
{
    if (!platform::lcHttp().isInfoEnabled())
        return;
    QString text = addressForLog(url);
    if (outcome == RouteOutcome::NotAskedAgain) {
        text +=
            QStringLiteral(": not asked again, it gave no answer earlier in this run (") + failure.description() + u')';
    } else {
        text += QStringLiteral(" over ") +
                (proxy.isEmpty() ? QStringLiteral("a direct connection")
                                 : QStringLiteral("the proxy ") + addressForLog(QString::fromUtf8(proxy)));
        if (outcome == RouteOutcome::PassedOver)
            text += QStringLiteral(": passed over, nothing came back (") + failure.description() + u')';
    }
    qCInfo(platform::lcHttp).noquote() << text;
}

void logTransfer(const char* what, const QString& url, const platform::VbError& failure, long status, qint64 bytes,
                 const QElapsedTimer& clock)
{
    if (!platform::lcHttp().isWarningEnabled())
        return;
    const QString done = QStringLiteral("%1 bytes, %2 ms").arg(bytes).arg(clock.elapsed());
    const QString head = QLatin1StringView(what) + u' ' + addressForLog(url);
    if (failure.isError())
        qCWarning(platform::lcHttp).noquote() << head + QStringLiteral(" failed (") +
                                                     QString::number(failure.number()) + QStringLiteral(": ") +
                                                     failure.description() + QStringLiteral("), ") + done;
    else
        qCInfo(platform::lcHttp).noquote()
            << head + QStringLiteral(": status ") + QString::number(status) + QStringLiteral(", ") + done;
}

} // namespace support::http
