#pragma once

#include "Result.h"

#include <QElapsedTimer>
#include <QString>

// What the diagnostic log says of transfers (area "http").
namespace support::http {

/** url as the log shows it: without a user name or password. */
QString addressForLog(const QString& url);

/** The transfer library and its TLS library ("libcurl 7.88.1 (OpenSSL/3.0.15)"). */
QString libraryVersion();

enum class RouteOutcome {
    /** The route brought an answer, or a failure another route would not mend. */
    Taken,
    /** Nothing came back over it (failure says why): the next route is tried. */
    PassedOver,
    /** The server gave no answer in time earlier in the run (failure): not asked again. */
    NotAskedAgain,
};

/** Logs how one hop of a transfer to url went over a route: the proxy (without user name or password), or a direct
 *  connection when proxy is empty. */
void logRoute(const QString& url, const QByteArray& proxy, const platform::VbError& failure, RouteOutcome outcome);

/** Logs one transfer's end: what (GET, download), the address, the status or why it failed, the bytes received and
 *  the time since clock started. */
void logTransfer(const char* what, const QString& url, const platform::VbError& failure, long status, qint64 bytes,
                 const QElapsedTimer& clock);

} // namespace support::http
