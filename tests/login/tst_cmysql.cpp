#include "LoginSql.h"
#include "RecordingServices.h"
#include "TcpRelay.h"
#include "TestDb.h"
#include "cMySQL.h"
#include "modMainShared.h"

#include <QTcpServer>
#include <QTest>

using testsupport::TestServices;

namespace {

const QString CannotConnect = QStringLiteral("데이터베이스 서버에 접속할 수 없습니다.");
const QString CheckInternet = QStringLiteral("인터넷이 연결되어 있는지 확인 해 주세요.");

bool connectLogin(cMySQL& db, const QString& host, bool noMessage = false, const QString& password = {},
                  const QString& database = QStringLiteral("zt_inhouse"))
{
    return db.real_connect(host, QStringLiteral("zt_inhouse"),
                           password.isNull() ? QStringLiteral("qtzp5830") : password, database, 3306, {}, 0, noMessage,
                           {});
}

qulonglong connectionId(cMySQL& db)
{
    std::shared_ptr<Recordset> rs;
    db.query("SELECT CONNECTION_ID() AS id", false, rs);
    return rs->text(QStringLiteral("id")).toULongLong();
}

} // namespace

// The client against the real throw-away server.
class tst_cMySQL : public testdb::DatabaseTest
{
    Q_OBJECT

private Q_SLOTS:
    void connectFailures_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("secondLine");
        QTest::addColumn<int>("number");
        const QString server = testdb::serverAddress();
        QTest::newRow("server down") << (QStringLiteral("127.0.0.1:") + QString::number(testsupport::closedPort()))
                                     << QString() << QStringLiteral("zt_inhouse") << CheckInternet << 2002;
        QTest::newRow("wrong account password")
            << server << QStringLiteral("wrong") << QStringLiteral("zt_inhouse")
            << QStringLiteral("접속 계정이 거부되었습니다. 관리자에게 문의바랍니다.") << 1045;
        QTest::newRow("database not granted")
            << server << QString() << QStringLiteral("mysql")
            << QStringLiteral("접속 계정이 거부되었습니다. 관리자에게 문의바랍니다.") << 1044;
    }
    void connectFailures()
    {
        QFETCH(QString, host);
        QFETCH(QString, password);
        QFETCH(QString, database);
        QFETCH(QString, secondLine);
        QFETCH(int, number);

        TestServices t;
        cMySQL db(t.services);
        QVERIFY(!connectLogin(db, host, false, password, database));
        QCOMPARE(t.messageBox.texts(), QStringList{CannotConnect + QStringLiteral("\r\n") + secondLine});
        QCOMPARE(db.State(), 0);
        QCOMPARE(db.lastConnectError().number(), number);
        QCOMPARE(db.lastConnectError().source(), QStringLiteral("cMysql::real_connect"));

        // Told not to, it stays quiet and still says why.
        cMySQL quiet(t.services);
        QVERIFY(!connectLogin(quiet, host, true, password, database));
        QCOMPARE(t.messageBox.messages.size(), 1);
        QCOMPARE(quiet.lastConnectError().number(), number);
    }

    // A server that accepts the connection and never answers must not hang the program.
    void silentServerGivesUp()
    {
        QTcpServer silent; // listening is enough: the system completes the handshake, nobody ever answers
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        TestServices t;
        cMySQL db(t.services);
        QVERIFY(!connectLogin(db, QStringLiteral("127.0.0.1:") + QString::number(silent.serverPort())));
        QCOMPARE(t.messageBox.texts(), QStringList{CannotConnect + QStringLiteral("\r\n") + CheckInternet});
    }

    void hostPortOverridesPortArgument()
    {
        TestServices t;
        cMySQL db(t.services);
        // Port 1 is what the caller passes; the host text's port wins.
        QVERIFY(db.real_connect(testdb::serverAddress(), QStringLiteral("zt_inhouse"), QStringLiteral("qtzp5830"),
                                QStringLiteral("zt_inhouse"), 1));
        QCOMPARE(db.State(), 1);
        QVERIFY(t.messageBox.messages.isEmpty());
    }

    void queryReturnsNamedRowsInOrder()
    {
        QVERIFY(m_root.addUser(QStringLiteral("kim"), QStringLiteral("x")));
        QVERIFY(m_root.addUser(QStringLiteral("홍길동"), QStringLiteral("y"), 1));
        TestServices t;
        cMySQL db(t.services);
        QVERIFY(connectLogin(db, testdb::serverAddress()));

        std::shared_ptr<Recordset> rs;
        db.query("SELECT id, hidden, NULL AS nothing FROM user ORDER BY hidden", false, rs);
        QVERIFY(rs);
        QCOMPARE(db.affected_rows(), 2);
        QCOMPARE(rs->fieldNames(),
                 (QStringList{QStringLiteral("id"), QStringLiteral("hidden"), QStringLiteral("nothing")}));
        QCOMPARE(rs->text(QStringLiteral("id")), QStringLiteral("kim"));
        QVERIFY(rs->field(QStringLiteral("nothing")).isNull());
        rs->moveNext();
        QCOMPARE(rs->text(QStringLiteral("id")),
                 QStringLiteral("홍길동")); // stored as CP949, read back as text
        QCOMPARE(rs->text(QStringLiteral("hidden")), QStringLiteral("1"));
        rs->moveNext();
        QVERIFY(rs->atEnd());

        db.query("SELECT id FROM user WHERE id = 'nobody'", false, rs);
        QVERIFY(rs && rs->atEnd());
        QCOMPARE(db.affected_rows(), 0);
    }

    // The connection passes the statement's bytes unchanged: the server hashes the CP949 bytes of a literal,
    // and the client's own hash of a password is the one the server computed from it before.
    void passwordHashAsTheServerComputes_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("ascii") << QStringLiteral("hong123");
        QTest::newRow("korean") << QStringLiteral("비밀번호가나");
        QTest::newRow("quote") << QStringLiteral("a'b");
        QTest::newRow("backslash") << QStringLiteral("a\\b");
        QTest::newRow("won sign") << QStringLiteral("₩1");
        QTest::newRow("empty") << QString();
    }
    void passwordHashAsTheServerComputes()
    {
        QFETCH(QString, password);
        TestServices t;
        cMySQL db(t.services);
        QVERIFY(connectLogin(db, testdb::serverAddress()));
        std::shared_ptr<Recordset> rs;
        db.query("SELECT SHA1('" + LoginSql::EscapeQuoted(password) + "') AS h, HEX('\xB0\xA1') AS x", false, rs);
        QCOMPARE(rs->text(QStringLiteral("h")).toLatin1(), LoginSql::PasswordHash(password));
        QCOMPARE(rs->text(QStringLiteral("x")), QStringLiteral("B0A1"));
    }

    void serverErrorsAreRaised_data()
    {
        QTest::addColumn<QByteArray>("statement");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");
        QTest::newRow("unknown table") << QByteArray("SELECT * FROM nope") << 1146
                                       << QStringLiteral("Table 'zt_inhouse.nope' doesn't exist");
        QTest::newRow("syntax") << QByteArray("SELEC 1") << 1064
                                << QStringLiteral("You have an error in your SQL syntax");
        QTest::newRow("not granted") << QByteArray("DELETE FROM user") << 1142
                                     << QStringLiteral("DELETE command denied to user 'zt_inhouse'");
    }
    void serverErrorsAreRaised()
    {
        QFETCH(QByteArray, statement);
        QFETCH(int, number);
        QFETCH(QString, description);
        TestServices t;
        cMySQL db(t.services);
        QVERIFY(connectLogin(db, testdb::serverAddress()));
        std::shared_ptr<Recordset> rs;
        try {
            db.query(statement, false, rs);
            QFAIL("no error raised");
        } catch (const platform::VbError& error) {
            QCOMPARE(error.number(), number);
            QCOMPARE(error.source(), QStringLiteral("cMysql::query"));
            QVERIFY2(error.description().startsWith(description), qPrintable(error.description()));
        }
        QVERIFY(!rs);
        QCOMPARE(db.affected_rows(), -1);
        // The connection is still good afterwards.
        db.query("SELECT 1 AS one", false, rs);
        QCOMPARE(rs->text(QStringLiteral("one")), QStringLiteral("1"));
    }

    void queryWithoutConnectionRaises()
    {
        TestServices t;
        cMySQL db(t.services);
        std::shared_ptr<Recordset> rs;
        QVERIFY_THROWS_EXCEPTION(platform::VbError, db.query("SELECT 1", false, rs));
    }

    // A restarted server looks to the client like a connection ended from the server's side.
    void lostConnectionIsReestablishedOnce()
    {
        TestServices t;
        cMySQL db(t.services);
        QVERIFY(connectLogin(db, testdb::serverAddress()));
        const qulonglong first = connectionId(db);
        QVERIFY2(m_root.killConnection(first), qPrintable(m_root.error()));
        QTRY_VERIFY(!m_root.loginConnections().contains(first));

        const qulonglong second = connectionId(db);
        QVERIFY(second != first);
        QCOMPARE(db.State(), 1);
        QVERIFY(t.messageBox.messages.isEmpty());
    }

    // The server goes away and a reconnect fails; once it is back, the next statement connects again.
    void serverBackAfterFailedReconnect()
    {
        testsupport::TcpRelay relay(quint16(qEnvironmentVariableIntValue("ZT_TEST_DB_PORT")));
        TestServices t;
        cMySQL db(t.services);
        QVERIFY(connectLogin(db, QStringLiteral("127.0.0.1:") + QString::number(relay.port())));
        std::shared_ptr<Recordset> rs;
        relay.close();
        QVERIFY_THROWS_EXCEPTION(platform::VbError, db.query("SELECT 1", false, rs));
        QVERIFY_THROWS_EXCEPTION(platform::VbError, db.query("SELECT 1", false, rs));
        QCOMPARE(db.State(), 0);

        QVERIFY(relay.reopen());
        db.query("SELECT 1 AS one", false, rs);
        QCOMPARE(rs->text(QStringLiteral("one")), QStringLiteral("1"));
        QCOMPARE(db.State(), 1);
        QVERIFY(t.messageBox.messages.isEmpty());
    }

    void closeIfOpenEndsTheConnection()
    {
        TestServices t;
        auto db = std::make_shared<cMySQL>(t.services);
        QVERIFY(connectLogin(*db, testdb::serverAddress()));
        const qulonglong id = connectionId(*db);
        QVERIFY(m_root.loginConnections().contains(id));
        modMain::CloseIfOpen(db);
        QVERIFY(!db);
        QTRY_VERIFY(!m_root.loginConnections().contains(id));
    }

    void releasingClosesTheConnection()
    {
        TestServices t;
        qulonglong id = 0;
        {
            cMySQL db(t.services);
            QVERIFY(connectLogin(db, testdb::serverAddress()));
            id = connectionId(db);
            std::shared_ptr<Recordset> rs;
            db.query("SELECT 1", false, rs);
            db.free_result();
        }
        QTRY_VERIFY(!m_root.loginConnections().contains(id));
    }
};

QTEST_GUILESS_MAIN(tst_cMySQL)
#include "tst_cmysql.moc"
