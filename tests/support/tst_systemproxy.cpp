// The proxy a transfer goes through: the system's answer judged, and the system's own settings followed for
// real. Host names under .example never resolve, so only a proxy can answer for them.
#include "HttpTestServer.h"
#include "HttpTransfer.h"
#include "RecordingServices.h"
#include "SystemProxy.h"
#include "TcpRelay.h"
#include "UnansweringServer.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using support::http::ProxyAuth;
using support::http::ProxyChoice;
using support::http::ProxySetting;
using support::http::UnreachableProxies;

Q_DECLARE_METATYPE(ProxyChoice)

namespace {

// How the system is set for a row: a proxy given by hand, or a PAC file.
enum class Setting {
    Manual,
    ManualUnreachable,
    /** By hand in ALL_PROXY alone, which Internet Options do not have. */
    ManualAll,
    Pac,
};

// Where the row's request must end.
enum class Route {
    Proxy,
    Direct,
    /** Redirected by what the proxy reached to a host the system sends direct. */
    ProxyThenDirect,
    /** Redirected by a host reached direct to one the system sends through the proxy. */
    DirectThenProxy,
    Refused,
    Unreachable,
};

#ifdef Q_OS_WIN
constexpr bool kInternetSettings = true;
#else
constexpr bool kInternetSettings = false;
#endif

const QString kInternetSettingsKey =
    QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings");

QByteArray regString(const QString& text)
{
    return '"' + text.toUtf8().replace('\\', "\\\\").replace('"', "\\\"") + '"';
}

// Internet Options as the dialog stores them: the values, and the binary record the system's Internet
// functions read (flags: 1 direct, 2 manual proxy, 4 PAC script; then the proxy, the bypass list and the
// script's address, each after its length).
QByteArray internetSettings(const QString& proxy, const QString& bypass, const QString& pacUrl)
{
    auto value = [](const QString& text) { return text.isEmpty() ? QByteArray("-") : regString(text); };
    QByteArray record;
    auto dword = [&record](quint32 number) {
        for (int shift = 0; shift < 32; shift += 8)
            record.append(char((number >> shift) & 0xff));
    };
    dword(0x46);
    dword(0);
    dword(1 | (proxy.isEmpty() ? 0 : 2) | (pacUrl.isEmpty() ? 0 : 4));
    for (const QString& text : {proxy, bypass, pacUrl}) {
        dword(quint32(text.size()));
        record.append(text.toLatin1());
    }
    record.append(32, '\0');
    QStringList hex;
    for (const char byte : std::as_const(record))
        hex.append(QStringLiteral("%1").arg(uint(quint8(byte)), 2, 16, QLatin1Char('0')));

    return "REGEDIT4\r\n\r\n[" + kInternetSettingsKey.toUtf8() + "]\r\n\"ProxyEnable\"=dword:0000000" +
           (proxy.isEmpty() ? '0' : '1') + "\r\n\"ProxyServer\"=" + value(proxy) +
           "\r\n\"ProxyOverride\"=" + value(bypass) + "\r\n\"AutoConfigURL\"=" + value(pacUrl) + "\r\n\r\n[" +
           kInternetSettingsKey.toUtf8() +
           "\\Connections]\r\n\"DefaultConnectionSettings\"=hex:" + hex.join(QLatin1Char(',')).toLatin1() + "\r\n";
}

} // namespace

class TestSystemProxy : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // Makes the system's settings what the row says: Internet Settings in this prefix's registry on Windows,
    // the proxy variables of the child process elsewhere.
    QProcessEnvironment applySettings(const QString& proxy, const QString& bypass, const QString& pacUrl,
                                      const QString& variable = QStringLiteral("http_proxy"))
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "no_proxy"}) {
            environment.remove(QString::fromLatin1(name));
            environment.remove(QString::fromLatin1(name).toUpper());
        }
        if (kInternetSettings) {
            const QString file = m_dir.filePath(QStringLiteral("settings.reg"));
            if (!testsupport::writeFile(file, internetSettings(proxy, bypass, pacUrl)))
                return {};
            QProcess reg;
            reg.start(QStringLiteral("reg"), {QStringLiteral("import"), QDir::toNativeSeparators(file)});
            if (!reg.waitForFinished(60000) || reg.exitCode() != 0)
                return {};
        } else if (!proxy.isEmpty()) {
            environment.insert(variable, proxy); // without a scheme, as Internet Options hold it too
            environment.insert(QStringLiteral("no_proxy"), bypass);
        }
        return environment;
    }

    // GETs url in a fresh process: its first line says what happened, the body follows.
    QByteArray getInChild(const QString& url, const QProcessEnvironment& environment)
    {
        const QString out = m_dir.filePath(QStringLiteral("answer.txt"));
        QFile::remove(out);
        QProcess child;
        child.setProcessEnvironment(environment);
        child.start(QStringLiteral(ZT_HTTP_GET), {url, out});
        if (!child.waitForFinished(60000))
            child.kill(), child.waitForFinished();
        return testsupport::readFile(out);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // Whatever this test changed in the registry goes back to a direct connection.
    void cleanupTestCase()
    {
        if (kInternetSettings)
            QVERIFY(!applySettings({}, {}, {}).isEmpty());
    }

    void proxyRoutes_data()
    {
        QTest::addColumn<QList<QNetworkProxy>>("answer");
        QTest::addColumn<QList<ProxyChoice>>("expected");

        const QNetworkProxy http(QNetworkProxy::HttpProxy, QStringLiteral("proxy.corp.example"), 8080);
        const ProxyChoice viaHttp{"http://proxy.corp.example:8080", ProxyAuth::SignedInUser, {}, {}};
        const ProxyChoice direct;
        QTest::newRow("nothing: direct") << QList<QNetworkProxy>{} << QList{direct};
        QTest::newRow("no proxy: direct, nothing after it")
            << QList{QNetworkProxy(QNetworkProxy::NoProxy), http} << QList{direct};
        QTest::newRow("http proxy, signed-in user, no direct fallback") << QList{http} << QList{viaHttp};
        QTest::newRow("caching proxy is an http proxy")
            << QList{QNetworkProxy(QNetworkProxy::HttpCachingProxy, QStringLiteral("proxy.corp.example"), 8080)}
            << QList{viaHttp};
        QTest::newRow("a PAC list: the usable ones in order, up to DIRECT")
            << QList{QNetworkProxy(QNetworkProxy::DefaultProxy),
                     QNetworkProxy(QNetworkProxy::FtpCachingProxy, QStringLiteral("ftp.corp.example"), 21),
                     http,
                     QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("backup.corp.example"), 3128),
                     http,
                     QNetworkProxy(QNetworkProxy::NoProxy),
                     QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("x"), 1)}
            << QList{viaHttp, ProxyChoice{"http://backup.corp.example:3128", ProxyAuth::SignedInUser, {}, {}}, direct};
        QTest::newRow("nothing usable: direct")
            << QList{QNetworkProxy(QNetworkProxy::HttpProxy), QNetworkProxy(QNetworkProxy::DefaultProxy)}
            << QList{direct};
        QTest::newRow("socks: names resolved by the proxy, no user")
            << QList{QNetworkProxy(QNetworkProxy::Socks5Proxy, QStringLiteral("socks.corp.example"), 1080)}
            << QList{ProxyChoice{"socks5h://socks.corp.example:1080", ProxyAuth::None, {}, {}}};
        QTest::newRow("user and password given")
            << QList{QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("proxy.corp.example"), 3128,
                                   QStringLiteral("kim"), QStringLiteral("p:w@"))}
            << QList{ProxyChoice{"http://proxy.corp.example:3128", ProxyAuth::Given, "kim", "p:w@"}};
        QTest::newRow("IPv6 address, no port")
            << QList{QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("fd00::8"))}
            << QList{ProxyChoice{"http://[fd00::8]", ProxyAuth::SignedInUser, {}, {}}};
    }
    void proxyRoutes()
    {
        QFETCH(QList<QNetworkProxy>, answer);
        QFETCH(QList<ProxyChoice>, expected);
        const QList<ProxyChoice> routes = support::http::proxyRoutes(answer, ProxySetting::Automatic);
        QCOMPARE(routes.size(), expected.size());
        for (qsizetype i = 0; i < routes.size(); ++i) {
            QCOMPARE(routes.at(i).url, expected.at(i).url);
            QVERIFY(routes.at(i) == expected.at(i));
        }
    }

    void unreachableProxiesGoLast_data()
    {
        QTest::addColumn<QByteArrayList>("routes");
        QTest::addColumn<QByteArrayList>("unreachable");
        QTest::addColumn<int>("secondsAgo");
        QTest::addColumn<QByteArrayList>("expected");

        const QByteArray a = "http://a:8080";
        const QByteArray b = "http://b:8080";
        const QByteArray direct;
        QTest::newRow("none remembered: the system's order")
            << QByteArrayList{a, b, direct} << QByteArrayList{} << 0 << QByteArrayList{a, b, direct};
        QTest::newRow("the first: behind the direct route too")
            << QByteArrayList{a, b, direct} << QByteArrayList{a} << 0 << QByteArrayList{b, direct, a};
        QTest::newRow("both: direct first, then both in their order")
            << QByteArrayList{a, b, direct} << QByteArrayList{b, a} << 299 << QByteArrayList{direct, a, b};
        QTest::newRow("five minutes ago: back in its place")
            << QByteArrayList{a, b, direct} << QByteArrayList{a} << 300 << QByteArrayList{a, b, direct};
        QTest::newRow("the only route, set by hand: still tried")
            << QByteArrayList{a} << QByteArrayList{a} << 0 << QByteArrayList{a};
    }
    void unreachableProxiesGoLast()
    {
        QFETCH(QByteArrayList, routes);
        QFETCH(QByteArrayList, unreachable);
        QFETCH(int, secondsAgo);
        QFETCH(QByteArrayList, expected);
        const auto now = UnreachableProxies::Clock::now();
        UnreachableProxies proxies;
        proxies.remember("http://elsewhere:8080", now);
        for (const QByteArray& url : unreachable)
            proxies.remember(url, now - std::chrono::seconds(secondsAgo));
        QList<ProxyChoice> given;
        for (const QByteArray& url : routes)
            given.append(url.isEmpty() ? ProxyChoice{} : ProxyChoice{url, ProxyAuth::SignedInUser, {}, {}});
        QByteArrayList order;
        for (const ProxyChoice& route : proxies.ordered(given, now))
            order.append(route.url);
        QCOMPARE(order, expected);
        // Reached again: forgotten.
        for (const QByteArray& url : unreachable)
            proxies.forget(url);
        QCOMPARE(proxies.ordered(given, now), given);
    }

    // Two GETs of a small text in one run, over the routes of a PAC script's answer ("hung": a proxy that never
    // answers; "reset": one that resets the connection; "down": one that refuses the first and is back for the
    // second; "proxy": one that works). The server takes no connections, or, with hung, never answers.
    void routesThatFail_data()
    {
        QTest::addColumn<QString>("pac");
        QTest::addColumn<bool>("hung");
        QTest::addColumn<QString>("results");
        QTest::addColumn<int>("unanswered"); // connections to the one that never answers, both GETs together

        QTest::newRow("silent proxy: the next one, not waited for again")
            << "hung proxy DIRECT" << false << "ok ok" << 1;
        QTest::newRow("proxy resetting before it answers: the next one")
            << "reset proxy DIRECT" << false << "ok ok" << 1;
        QTest::newRow("proxy down, then needed: tried after the direct route")
            << "down DIRECT" << false << "failed ok" << 0;
        QTest::newRow("hung server met twice: waited for once, the same failure")
            << "DIRECT" << true << "failed failed" << 1;
    }
    void routesThatFail()
    {
        QFETCH(QString, pac);
        QFETCH(bool, hung);
        QFETCH(QString, results);
        QFETCH(int, unanswered);
        testsupport::UnansweringServer silent(pac.startsWith(u"reset"));
        testsupport::HttpTestServer proxy;
        testsupport::TcpRelay down(quint16(proxy.port()));
        down.close();
        testsupport::HttpTestServer gone;
        gone.stop();
        const QString url = QStringLiteral("http://") + (hung ? silent.host() : gone.host()) + QStringLiteral("/v.txt");
        proxy.putFile(url, "7");
        QList<QNetworkProxy> answer;
        for (const QString& route : pac.split(u' ')) {
            const quint16 port = route == u"proxy" ? proxy.port() : route == u"down" ? down.port() : silent.port();
            answer.append(route == u"DIRECT"
                              ? QNetworkProxy(QNetworkProxy::NoProxy)
                              : QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), port));
        }
        support::http::stageSystemAnswer([answer](const QNetworkProxyQuery&) { return answer; });
        support::http::setTimeouts({15, 30, 1, 1});
        support::http::GetOptions options;
        options.smallText = true;

        const auto first = support::http::get(url, options);
        QVERIFY(down.reopen());
        const auto second = support::http::get(url, options);
        support::http::stageSystemAnswer({});
        support::http::setTimeouts({});
        support::http::forgetSilentServers();

        QStringList got;
        for (const auto* transfer : {&first, &second})
            got.append(!*transfer                 ? QStringLiteral("failed")
                       : (*transfer)->body == "7" ? QStringLiteral("ok")
                                                  : QString());
        QCOMPARE(got.join(u' '), results);
        if (!first && !second)
            QCOMPARE(second.error().description(), first.error().description());
        QCOMPARE(silent.connections(), unanswered);
    }

    void systemSettingsDecide_data()
    {
        QTest::addColumn<Setting>("setting");
        QTest::addColumn<QString>("bypass");
        QTest::addColumn<QString>("host");
        QTest::addColumn<Route>("expected");

        // "origin" stands for the test's own server, reached as localhost: a name (Windows never sends a loopback
        // address through a proxy) that resolves without asking the network.
        const QString corp = QStringLiteral("list.corp.example");
        const QString origin = QStringLiteral("origin");
        QTest::newRow("manual: through the proxy") << Setting::Manual << QString() << corp << Route::Proxy;
        QTest::newRow("manual: localhost through it too") << Setting::Manual << QString() << origin << Route::Proxy;
        QTest::newRow("manual: bypassed host direct")
            << Setting::Manual << QStringLiteral("localhost") << origin << Route::Direct;
        QTest::newRow("manual: <local> bypasses plain names")
            << Setting::Manual << QStringLiteral("<local>") << origin << Route::Direct;
        QTest::newRow("manual: proxy answers 407")
            << Setting::Manual << QString() << QStringLiteral("denied.corp.example") << Route::Refused;
        QTest::newRow("manual in ALL_PROXY alone") << Setting::ManualAll << QString() << corp << Route::Proxy;
        QTest::newRow("manual: proxy refuses, no direct connection instead")
            << Setting::ManualUnreachable << QString() << origin << Route::Unreachable;
        QTest::newRow("PAC: corporate host through the proxy") << Setting::Pac << QString() << corp << Route::Proxy;
        QTest::newRow("PAC: other host direct") << Setting::Pac << QString() << origin << Route::Direct;
        QTest::newRow("manual: redirect from a proxied host to a bypassed one")
            << Setting::Manual << QStringLiteral("localhost") << corp << Route::ProxyThenDirect;
        QTest::newRow("manual: redirect from a bypassed host to a proxied one")
            << Setting::Manual << QStringLiteral("localhost") << origin << Route::DirectThenProxy;
        QTest::newRow("PAC: redirect from a proxied host to a direct one")
            << Setting::Pac << QString() << corp << Route::ProxyThenDirect;
    }
    void systemSettingsDecide()
    {
        QFETCH(Setting, setting);
        QFETCH(QString, bypass);
        QFETCH(QString, host);
        QFETCH(Route, expected);
        if (setting == Setting::Pac && !kInternetSettings)
            QSKIP("the proxy variables have no automatic configuration script");
        if (bypass == u"<local>" && !kInternetSettings)
            QSKIP("the proxy variables have no <local>");
        if (setting == Setting::ManualAll && kInternetSettings)
            QSKIP("Internet Options have no ALL_PROXY");

        testsupport::HttpTestServer proxy;
        testsupport::HttpTestServer origin;
        testsupport::HttpTestServer gone;
        gone.stop();
        const QString url = QStringLiteral("http://") +
                            (host == u"origin" ? QStringLiteral("localhost:") + QString::number(origin.port()) : host) +
                            QStringLiteral("/servers.json");
        const QByteArray body = "{\"success\":true}";
        origin.putFile(QStringLiteral("/servers.json"), body);
        proxy.putFile(url, body);
        proxy.route(QStringLiteral("http://denied.corp.example/servers.json"),
                    [](const httplib::Request&, httplib::Response& response) {
                        response.status = 407;
                        response.set_header("Proxy-Authenticate", "Negotiate");
                        response.set_header("Proxy-Authenticate", "NTLM");
                    });
        origin.putFile(QStringLiteral("/proxy.pac"), "function FindProxyForURL(url, host) {\n"
                                                     "    if (dnsDomainIs(host, \".corp.example\"))\n"
                                                     "        return \"PROXY " +
                                                         proxy.host().toLatin1() +
                                                         "\";\n"
                                                         "    return \"DIRECT\";\n"
                                                         "}\n");
        // The second hop of a redirect row, on the other side of the proxy's boundary.
        const QString movedDirect =
            QStringLiteral("http://localhost:") + QString::number(origin.port()) + QStringLiteral("/moved.json");
        const QString movedViaProxy = QStringLiteral("http://list.corp.example/moved.json");
        if (expected == Route::ProxyThenDirect) {
            proxy.routeRedirect(url, movedDirect);
            origin.putFile(QStringLiteral("/moved.json"), body);
        } else if (expected == Route::DirectThenProxy) {
            origin.routeRedirect(QStringLiteral("/servers.json"), movedViaProxy);
            proxy.putFile(movedViaProxy, body);
        }

        const QProcessEnvironment environment =
            setting == Setting::Pac
                ? applySettings({}, {}, origin.url(QStringLiteral("/proxy.pac")))
                : applySettings(setting == Setting::ManualUnreachable ? gone.host() : proxy.host(), bypass, {},
                                setting == Setting::ManualAll ? QStringLiteral("ALL_PROXY")
                                                              : QStringLiteral("http_proxy"));
        QVERIFY2(!environment.isEmpty(), "the settings could not be made");
        const QByteArray answer = getInChild(url, environment);

        const QStringList viaProxy = proxy.targets();
        const bool originAsked = origin.paths().contains(QStringLiteral("/servers.json"));
        switch (expected) {
        case Route::Proxy:
            QCOMPARE(answer, "ok 200\n" + body);
            QCOMPARE(viaProxy, QStringList{url});
            QVERIFY(!originAsked);
            break;
        case Route::Direct:
            QCOMPARE(answer, "ok 200\n" + body);
            QVERIFY(viaProxy.isEmpty());
            QVERIFY(originAsked);
            break;
        case Route::ProxyThenDirect:
            QCOMPARE(answer, "ok 200\n" + body);
            QCOMPARE(viaProxy, QStringList{url});
            QVERIFY(origin.paths().contains(QStringLiteral("/moved.json")));
            break;
        case Route::DirectThenProxy:
            QCOMPARE(answer, "ok 200\n" + body);
            QCOMPARE(viaProxy, QStringList{movedViaProxy});
            QVERIFY(originAsked);
            break;
        case Route::Refused:
            QVERIFY2(answer.startsWith("error 407 "), answer.constData());
            QVERIFY(!originAsked);
            break;
        case Route::Unreachable:
            QVERIFY2(answer.startsWith("error "), answer.constData());
            QVERIFY(viaProxy.isEmpty());
            QVERIFY(!originAsked);
            break;
        }
    }
};

QTEST_GUILESS_MAIN(TestSystemProxy)
#include "tst_systemproxy.moc"
