// The server-list service, its cache beside the program and the lookups, against a real service on 127.0.0.1.
#include "HttpTestServer.h"
#include "HttpTransfer.h"
#include "RecordingServices.h"
#include "modServerAddressUtil.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

using namespace modServerAddressUtil;
using testsupport::readFile;
using testsupport::writeFile;

namespace {
const QString Path = QStringLiteral("/serverinfo/server-address-checker.php");
const QByteArray Bom = "\xEF\xBB\xBF";
const QByteArray OldCache = Bom + R"({"ver": "11","servers": [{"name": "자동업데이트_런처","host": "10.0.0.1"}]})";

QByteArray utf8(const char* text)
{
    return QByteArray(text);
}
} // namespace

class TestServerAddressUtil : public QObject
{
    Q_OBJECT

    struct Setup
    {
        testsupport::TestServices t;
        testsupport::HttpTestServer server;
        QByteArray answer;
        QString cache() const { return t.services.app.filePath(QStringLiteral("server_address_setting.json")); }
    };

    static std::unique_ptr<Setup> setup(const QByteArray& answer, int status = 200)
    {
        auto s = std::make_unique<Setup>();
        qputenv("ZT_SERVER_LIST_URL", s->server.url().toUtf8());
        s->server.route(Path, [answer, status](const httplib::Request&, httplib::Response& response) {
            response.status = status;
            response.set_content(answer.toStdString(), "application/json; charset=utf-8");
        });
        return s;
    }

private Q_SLOTS:
    void initTestCase() { qputenv("no_proxy", "127.0.0.1,localhost"); }
    void cleanup() { support::http::setTimeouts({}); }

    // Runs first: nothing has been loaded in this process yet.
    void nothingLoadedWithoutCacheOrService()
    {
        testsupport::TestServices t;
        qputenv("ZT_SERVER_LIST_URL", QStringLiteral("http://127.0.0.1:%1").arg(testsupport::closedPort()).toUtf8());
        QVERIFY(!RefreshServerAddressCache(t.services, QString()));
        LoadServerAddressCache(t.services);
        QCOMPARE(GetServerHost(QStringLiteral("자동업데이트_런처")), QString());
        QCOMPARE(GetServerHost(QStringLiteral("사내메신저DB서버")), QString());
        QVERIFY(t.messageBox.messages.isEmpty());
    }

    void serviceUrl_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("expected");

        const QString service = QStringLiteral("http://lists.example:8080") + Path;
        QTest::newRow("neither") << QStringLiteral("http://lists.example:8080") << QString() << QString() << service;
        QTest::newRow("base with slash") << QStringLiteral("http://lists.example:8080/") << QString() << QString()
                                         << service;
        QTest::newRow("version") << QStringLiteral("http://lists.example:8080") << QStringLiteral("12") << QString()
                                 << service + QStringLiteral("?ver=12");
        QTest::newRow("user") << QStringLiteral("http://lists.example:8080") << QString() << QStringLiteral("abc")
                              << service + QStringLiteral("?user=abc");
        QTest::newRow("both") << QStringLiteral("http://lists.example:8080") << QStringLiteral("12")
                              << QStringLiteral("abc") << service + QStringLiteral("?ver=12&user=abc");
        QTest::newRow("not encoded") << QStringLiteral("http://lists.example:8080") << QStringLiteral("1 2")
                                     << QStringLiteral("a&b") << service + QStringLiteral("?ver=1 2&user=a&b");
    }
    void serviceUrl()
    {
        QFETCH(QString, base);
        QFETCH(QString, version);
        QFETCH(QString, user);
        QFETCH(QString, expected);
        QCOMPARE(ServiceUrl(base, version, user), expected);
    }

    void requestCarriesCachedVersionAndUser_data()
    {
        QTest::addColumn<QByteArray>("cache"); // empty: no cache file
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("target");

        QTest::newRow("no cache") << QByteArray() << QString() << Path;
        QTest::newRow("text version 12") << utf8(R"({"ver": "12", "servers": []})") << QString()
                                         << Path + QStringLiteral("?ver=12");
        QTest::newRow("number version 12") << utf8(R"({"ver": 12})") << QString() << Path + QStringLiteral("?ver=12");
        QTest::newRow("no version, user abc")
            << utf8(R"({"servers": []})") << QStringLiteral("abc") << Path + QStringLiteral("?user=abc");
        QTest::newRow("version and user")
            << utf8(R"({"ver": "12"})") << QStringLiteral("abc") << Path + QStringLiteral("?ver=12&user=abc");
        QTest::newRow("Korean user as UTF-8")
            << QByteArray() << QStringLiteral("홍") << Path + QStringLiteral("?user=%ED%99%8D");
    }
    void requestCarriesCachedVersionAndUser()
    {
        QFETCH(QByteArray, cache);
        QFETCH(QString, user);
        QFETCH(QString, target);
        auto s = setup(R"({"success": false})");
        if (!cache.isEmpty())
            QVERIFY(writeFile(s->cache(), Bom + cache));
        QVERIFY(RefreshServerAddressCache(s->t.services, user));
        QCOMPARE(s->server.targets(), QStringList{target});
    }

    void successRewritesTheCacheWithDataOnly()
    {
        auto s = setup(R"({"success": true, "message": "ok",
                          "data": {"ver": "12", "servers": [{"name": "a", "host": "b"}]}, "extra": [1, 2]})");
        QVERIFY(writeFile(s->cache(), OldCache));
        QVERIFY(RefreshServerAddressCache(s->t.services, QString()));
        QCOMPARE(readFile(s->cache()), Bom + R"({"ver": "12","servers": [{"name": "a","host": "b"}]})");
        QVERIFY(s->t.messageBox.messages.isEmpty());
    }

    void failuresLeaveTheCache_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("result");

        const QByteArray good = R"({"success": true, "data": {"ver": "13", "servers": []}})";
        QTest::newRow("success false with data") << utf8(R"({"success": false, "data": {"ver": "13"}})") << 200 << true;
        QTest::newRow("success false, no data") << utf8(R"({"success": false})") << 200 << true;
        QTest::newRow("success as text") << utf8(R"({"success": "true", "data": {"ver": "13"}})") << 200 << true;
        QTest::newRow("success 1") << utf8(R"({"success": 1, "data": {"ver": "13"}})") << 200 << true;
        QTest::newRow("success without data") << utf8(R"({"success": true})") << 200 << true;
        QTest::newRow("data not an object") << utf8(R"({"success": true, "data": "gone"})") << 200 << true;
        QTest::newRow("404") << good << 404 << false;
        QTest::newRow("500") << good << 500 << false;
        QTest::newRow("201 is not 200") << good << 201 << false;
        QTest::newRow("garbage") << utf8("<html>proxy error</html>") << 200 << false;
        QTest::newRow("array") << utf8(R"([{"success": true}])") << 200 << false;
        QTest::newRow("empty body") << QByteArray() << 200 << false;
        QTest::newRow("over 4 MiB") << QByteArray("{\"success\": true, \"data\": {\"ver\": \"") +
                                           QByteArray(MaxAnswerBytes, '9') + QByteArray("\"}}")
                                    << 200 << false;
    }
    void failuresLeaveTheCache()
    {
        QFETCH(QByteArray, answer);
        QFETCH(int, status);
        QFETCH(bool, result);
        auto s = setup(answer, status);
        QVERIFY(writeFile(s->cache(), OldCache));
        QCOMPARE(RefreshServerAddressCache(s->t.services, QString()), result);
        QCOMPARE(readFile(s->cache()), OldCache);
        QVERIFY(s->t.messageBox.messages.isEmpty());
    }

    void stalledServiceFails()
    {
        auto s = setup({});
        s->server.routeStalled(Path, 500, 1);
        support::http::setTimeouts({15, 1});
        QVERIFY(writeFile(s->cache(), OldCache));
        QVERIFY(!RefreshServerAddressCache(s->t.services, QString()));
        QCOMPARE(readFile(s->cache()), OldCache);
    }

    void unreadableCacheEndsBeforeAnyRequest_data()
    {
        QTest::addColumn<QByteArray>("cache");
        QTest::newRow("not JSON") << utf8("server list");
        QTest::newRow("array") << utf8(R"([{"ver": "1"}])");
        QTest::newRow("empty file") << QByteArray();
    }
    void unreadableCacheEndsBeforeAnyRequest()
    {
        QFETCH(QByteArray, cache);
        auto s = setup(R"({"success": true, "data": {"ver": "13"}})");
        QVERIFY(writeFile(s->cache(), cache));
        QVERIFY(!RefreshServerAddressCache(s->t.services, QString()));
        QVERIFY(s->server.paths().isEmpty());
        QCOMPARE(readFile(s->cache()), cache);
    }

    void lookups_data()
    {
        QTest::addColumn<QByteArray>("cache");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("host");

        const QByteArray list = R"({"ver": 3, "servers": [
            {"name": "자동업데이트_런처", "host": "10.0.0.5:8081", "note": "kept"},
            {"name": "사내메신저DB서버", "host": "db.local"},
            {"name": "자동업데이트_런처", "host": "10.0.0.6"},
            {"name": "Mixed", "host": "m"},
            {"name": "empty", "host": ""}]})";
        QTest::newRow("first of two equal names")
            << list << QStringLiteral("자동업데이트_런처") << QStringLiteral("10.0.0.5:8081");
        QTest::newRow("second entry") << list << QStringLiteral("사내메신저DB서버") << QStringLiteral("db.local");
        QTest::newRow("case differs") << list << QStringLiteral("mixed") << QString();
        QTest::newRow("exact case") << list << QStringLiteral("Mixed") << QStringLiteral("m");
        QTest::newRow("empty host") << list << QStringLiteral("empty") << QString();
        QTest::newRow("no such entry") << list << QStringLiteral("없음") << QString();
        QTest::newRow("no servers member") << utf8(R"({"ver": 3})") << QStringLiteral("Mixed") << QString();
        QTest::newRow("servers not an array")
            << utf8(R"({"servers": {"name": "Mixed", "host": "m"}})") << QStringLiteral("Mixed") << QString();
        QTest::newRow("entry not an object is skipped")
            << utf8(R"({"servers": ["Mixed", {"name": "Mixed", "host": "m2"}]})") << QStringLiteral("Mixed")
            << QStringLiteral("m2");
        QTest::newRow("cache not JSON") << utf8("no list here") << QStringLiteral("Mixed") << QString();
        QTest::newRow("cache is an array")
            << utf8(R"([{"name": "Mixed", "host": "m"}])") << QStringLiteral("Mixed") << QString();
    }
    void lookups()
    {
        QFETCH(QByteArray, cache);
        QFETCH(QString, name);
        QFETCH(QString, host);
        testsupport::TestServices t;
        QVERIFY(writeFile(t.services.app.filePath(QStringLiteral("server_address_setting.json")), Bom + cache));
        LoadServerAddressCache(t.services);
        QCOMPARE(GetServerHost(name), host);
    }

    void loadWithoutCacheKeepsTheLoadedList()
    {
        testsupport::TestServices withCache;
        QVERIFY(writeFile(withCache.services.app.filePath(QStringLiteral("server_address_setting.json")),
                          R"({"servers": [{"name": "a", "host": "b"}]})"));
        LoadServerAddressCache(withCache.services);
        testsupport::TestServices without;
        LoadServerAddressCache(without.services);
        QCOMPARE(GetServerHost(QStringLiteral("a")), QStringLiteral("b"));
    }

    // The fetched list serves this run even when the cache cannot keep it.
    void listThatCannotBeSavedIsUsed_data()
    {
        QTest::addColumn<bool>("folderReportedAtStart");
        QTest::addColumn<int>("messages");
        QTest::newRow("folder reported at start: no message of its own") << true << 0;
        QTest::newRow("write fails: its own message") << false << 1;
    }
    void listThatCannotBeSavedIsUsed()
    {
        QFETCH(bool, folderReportedAtStart);
        QFETCH(int, messages);
        auto s = setup(
            R"({"success": true, "data": {"ver": 8, "servers": [{"name": "사내메신저DB서버", "host": "new.db"}]}})");
        if (folderReportedAtStart)
            s->t.services.app.writeBlock = platform::makeVbError(platform::vberr::PermissionDenied);
        else
            QVERIFY(QDir().mkdir(s->cache())); // no file can take that name
        QVERIFY(RefreshServerAddressCache(s->t.services, QString()));
        LoadServerAddressCache(s->t.services);
        QCOMPARE(GetServerHost(QStringLiteral("사내메신저DB서버")), QStringLiteral("new.db"));
        QCOMPARE(s->t.messageBox.messages.size(), messages);
        if (messages)
            QVERIFY(s->t.messageBox.messages.first().text.startsWith(QStringLiteral("파일 저장 중 오류 발생: ")));
        QVERIFY(!QFileInfo(s->cache()).isFile());
    }

    // Start-up's order: refresh, load, look up; the next run sends the cached version back.
    void refreshThenLoadThenLookUp()
    {
        auto s = setup(R"({"success": true, "data": {"ver": 7, "servers": [
                            {"name": "자동업데이트_런처", "host": "127.0.0.1:8099"},
                            {"name": "사내메신저DB서버", "host": "127.0.0.1:3307"}]}})");
        QVERIFY(RefreshServerAddressCache(s->t.services, QString()));
        LoadServerAddressCache(s->t.services);
        QCOMPARE(GetServerHost(QStringLiteral("자동업데이트_런처")), QStringLiteral("127.0.0.1:8099"));
        QCOMPARE(GetServerHost(QStringLiteral("사내메신저DB서버")), QStringLiteral("127.0.0.1:3307"));
        QVERIFY(RefreshServerAddressCache(s->t.services, QString()));
        QCOMPARE(s->server.targets(), (QStringList{Path, Path + QStringLiteral("?ver=7")}));
    }
};

QTEST_GUILESS_MAIN(TestServerAddressUtil)
#include "tst_serveraddressutil.moc"
