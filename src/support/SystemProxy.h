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

/** The routes libcurl can take of the system's answer, in its order, up to and including the first direct
 *  connection (a PAC file's "PROXY a; PROXY b; DIRECT" gives a, b, direct): a transfer that cannot reach one
 *  proxy goes on with the next, as browsers do. Just a direct connection when nothing is usable. */
QList<ProxyChoice> proxyRoutes(const QList<QNetworkProxy>& systemAnswer);

/** The system's routes for url, asked now (the settings may change while the program runs). */
QList<ProxyChoice> systemProxyRoutes(const QUrl& url);

} // namespace support::http
