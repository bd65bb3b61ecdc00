#pragma once

#include "Result.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>

// HTTP GET over libcurl for the server list and the update helpers. Proxies come from the system
// (SystemProxy.h): Internet Options on Windows, the proxy variables elsewhere, its answer for an address asked
// once per run; a proxy authenticates the signed-in user. Bodies are not cached.
namespace support::http {

/** How long a transfer may take to connect, and how long it may go without receiving a byte. Once connected, a
 *  proxy has proxyAnswerSeconds to start its answer before the next route is tried, and the server of a small
 *  text (GetOptions::smallText) textAnswerSeconds before the transfer fails. */
struct Timeouts final
{
    long connectSeconds = 15;
    long stallSeconds = 30;
    long proxyAnswerSeconds = 15;
    long textAnswerSeconds = 10;
};

/** The bounds every transfer of this process uses (tests shorten them). */
void setTimeouts(const Timeouts& timeouts);
Timeouts timeouts();

struct GetOptions final
{
    /** User-Agent header; none when empty. */
    QByteArray userAgent;
    /** A body longer than this is a failure (-1: no cap). */
    qint64 maxBytes = -1;
    /** Reading stops, successfully, once this many bytes are held (-1: read to the end). */
    qint64 enoughBytes = -1;
    /** For download(): given the file that holds the whole body, before it takes path's place; a file this
     *  rejects is a failure and replaces nothing. A body whose end the server does not announce (the connection
     *  just closes) can only be judged by its content. */
    std::function<bool(const QString& receivedFile)> acceptFile;
    /** When it turns true (on another thread), the transfer ends within a tenth of a second as a failure. */
    const std::atomic<bool>* cancel = nullptr;
    /** A small text (the server list, a version file): its server gets Timeouts::textAnswerSeconds, not the stall
     *  limit, to start answering. */
    bool smallText = false;
};

/** An answer whose body arrived whole (or up to enoughBytes) with a 2xx status. */
struct Response final
{
    /** The final status after redirects. */
    long status = 0;
    QByteArray body;
};

using platform::Result;

/** A failure's number when the answer is longer than maxBytes (libcurl's own for a file too large). */
inline constexpr int AnswerTooLong = 63;

/** The URL as sent: non-ASCII characters percent-encoded as UTF-8. Empty when it is not an http(s) URL. */
QByteArray encodeUrl(const QString& url);

/** GETs url into memory. At most 3 redirects, http and https only; a redirect's own page is not read, and the
 *  limits hold for each hop. A failure's number is the HTTP status when
 *  the server answered with another than 2xx, otherwise the transfer library's own code; its description
 *  says what happened, for diagnostics. A server (scheme, host and port) that gave no answer within its limits
 *  is not waited for again in this run: later transfers to it fail at once, with the same failure. */
Result<Response> get(const QString& url, const GetOptions& options = {});

/** GETs url into path, streaming it into a new file of its own beside path, which takes path's name only when the
 *  whole body arrived with a 2xx status, is not empty and passes options.acceptFile; otherwise path stays as it
 *  was. A link at path is replaced, never written through. A saved program (its first bytes say so) gets its
 *  run permission. */
Result<void> download(const QString& url, const QString& path, const GetOptions& options = {});

/** Forgets the servers that gave no answer (for tests, whose ports come back). */
void forgetSilentServers();

} // namespace support::http
