#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkProxy>

class QUrl;

// Which proxy the system sends a URL through, in the form libcurl takes it. The system decides (Internet
// Options on Windows, with the bypass list, PAC and automatic detection; the proxy variables elsewhere); libcurl's
// own reading of the environment must not overrule it.
namespace support::http {

/** How a transfer authenticates to its proxy. */
enum class ProxyAuth {
    /** Direct, or a SOCKS proxy without a user. */
    None,
    /** As the signed-in user, through the system (Negotiate or NTLM with no name or password given). */
    SignedInUser,
    /** With the user name and password the system's setting carries. */
    Given,
};

struct ProxyChoice final
{
    /** "" for a direct connection, else "http://host:port" or "socks5h://host:port". */
    QByteArray url;
    ProxyAuth auth = ProxyAuth::None;
    QByteArray user;
    QByteArray password;

    bool operator==(const ProxyChoice&) const = default;
};

/** The first of the system's answers libcurl can use (a direct connection, an HTTP or a SOCKS 5 proxy); direct
 *  when there is none. libcurl takes one proxy, so later answers (a PAC file's fallbacks) go unused. */
ProxyChoice chooseProxy(const QList<QNetworkProxy>& systemAnswer);

/** The system's proxy for url, asked now (the settings may change while the program runs). */
ProxyChoice systemProxy(const QUrl& url);

} // namespace support::http
