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

/** Logs one transfer's end: what (GET, download), the address, the status or why it failed, the bytes received and
 *  the time since clock started. */
void logTransfer(const char* what, const QString& url, const platform::VbError& failure, long status, qint64 bytes,
                 const QElapsedTimer& clock);

} // namespace support::http
