#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QNetworkProxy>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

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

/** How the proxy for an address was set on this PC. */
enum class ProxySetting {
    /** Not at all, or by an automatic configuration (PAC script, detection): the system's answer stands. */
    Automatic,
    /** By hand (the proxy variables, the proxy server in Internet Options): that proxy, or direct for a bypassed
     *  address, never a direct connection behind the proxy (a company may forbid direct traffic). */
    ByHand,
};

/** The system's proxy settings for a URL: how they are set, and a text that changes when they do. */
struct SystemProxySettings final
{
    ProxySetting setting = ProxySetting::Automatic;
    QByteArray fingerprint;
    /** The answer, when the settings say it themselves (proxy variables naming a proxy): nothing to ask. */
    std::optional<QList<QNetworkProxy>> answer;
};

/** Read now, from the proxy variables or Internet Options (cheap: nothing is looked up or run). */
SystemProxySettings systemProxySettings(const QUrl& url);

/** What proxy variables (variable reads one) say for url, as curl and most tools read them: the scheme's own
 *  variable, else all_proxy, else for https http_proxy; a value without a scheme is an HTTP proxy; a host no_proxy
 *  names, or a domain it is in, goes direct. Nothing when they name no proxy they can give themselves (none, or
 *  one found by automatic configuration: "wpad://", "pac+URL"). */
std::optional<QList<QNetworkProxy>> proxiesFromVariables(const QUrl& url,
                                                         const std::function<QByteArray(const char*)>& variable);

/** The routes libcurl can take of the system's answer, in its order, up to and including the first direct
 *  connection (a PAC file's "PROXY a; PROXY b; DIRECT" gives a, b, direct): a transfer that cannot reach one
 *  proxy goes on with the next, as browsers do. Just a direct connection when nothing is usable. With a proxy
 *  set by hand, a direct connection after a proxy is dropped: Qt adds one to every answer on Linux. */
QList<ProxyChoice> proxyRoutes(const QList<QNetworkProxy>& systemAnswer, ProxySetting setting);

/** The system's routes for url. Asked once per run for the same settings and scheme, host and port: a PAC
 *  script or automatic detection can take many seconds, and the system answers one question at a time.
 *  A question still running is joined. With cancel, the system is asked on a thread of its own and waited
 *  for only until cancel turns true (nothing then; the question goes on and its answer is kept). */
std::optional<QList<ProxyChoice>> systemProxyRoutes(const QUrl& url, const std::atomic<bool>* cancel = nullptr);

/** Where the system's answer comes from: Qt's reading of the system (Internet Options and the PAC script on
 *  Windows, libproxy elsewhere) when empty. Tests stage a PAC script's answer where this system runs none. */
using SystemAnswer = std::function<QList<QNetworkProxy>(const QNetworkProxyQuery& query)>;
void stageSystemAnswer(SystemAnswer answer);

/** Whether a question of systemProxyRoutes still runs on a thread of its own. Ending the process normally
 *  then would tear Qt's proxy state down under it, after waiting for it: end it at once instead. */
bool systemQuestionRunning();

/** Proxies a transfer could not reach lately, or that gave no answer (silent, or reset before answering): they
 *  go behind the other routes, the direct one included, so that a dead proxy costs its wait once, not on every
 *  transfer and hop. They are still tried there, when the routes ahead of them fail. */
class UnreachableProxies final
{
public:
    using Clock = std::chrono::steady_clock;
    /** How long a proxy stays at the back, as browsers keep a bad one. */
    static constexpr std::chrono::minutes Kept{5};

    void remember(const QByteArray& proxyUrl, Clock::time_point when);
    void forget(const QByteArray& proxyUrl);
    /** routes, the proxies remembered less than Kept before now moved last; both parts keep their order. */
    QList<ProxyChoice> ordered(const QList<ProxyChoice>& routes, Clock::time_point now) const;

private:
    mutable std::mutex m_mutex;
    QHash<QByteArray, Clock::time_point> m_since;
};

/** The process's own, shared by all its transfers. */
UnreachableProxies& unreachableProxies();

} // namespace support::http
