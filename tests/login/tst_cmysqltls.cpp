#include "Cp949.h"
#include "LoginSession.h"
#include "RecordingServices.h"
#include "TcpRelay.h"
#include "TestDb.h"
#include "TrustedCa.h"
#include "cMySQL.h"
#include "modMainShared.h"

#include <QTest>

#include <optional>

using platform::DatabaseTls;
using testsupport::TcpRelay;
using testsupport::TestServices;

namespace {

const QString CannotConnect = QStringLiteral("데이터베이스 서버에 접속할 수 없습니다.\r\n");
const QString NotOffered =
    QStringLiteral("이 PC의 정책은 암호화 연결(TLS)을 요구하지만 서버가 제공하지 않습니다. 관리자에게 문의바랍니다.");

quint16 serverPort()
{
    return quint16(qEnvironmentVariableIntValue("ZT_TEST_DB_PORT"));
}

QString address(const QString& host, const TcpRelay& relay)
{
    return host + u':' + QString::number(relay.port());
}

bool connectLogin(cMySQL& db, const QString& host)
{
    return db.real_connect(host, QStringLiteral("zt_inhouse"), QStringLiteral("qtzp5830"),
                           QStringLiteral("zt_inhouse"));
}

// The server's own view of the connection: the cipher it speaks, empty without TLS.
QString serverCipher(cMySQL& db)
{
    std::shared_ptr<Recordset> rs;
    db.query("SHOW STATUS LIKE 'Ssl_cipher'", false, rs);
    return rs->text(QStringLiteral("Value"));
}

} // namespace

// The machine's TLS policy against the throw-away server (which offers TLS with a certificate of its own
// authority for 127.0.0.1), behind a relay that records what crosses it and can hide the server's TLS.
class tst_cMySQLTls : public testdb::DatabaseTest
{
    Q_OBJECT

private Q_SLOTS:
    void policies_data()
    {
        QTest::addColumn<DatabaseTls>("policy");
        QTest::addColumn<TcpRelay::Mysql>("server");
        QTest::addColumn<QString>("dialled");
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<bool>("overTls");
        QTest::addColumn<QString>("refusal"); // the message's second line, or its start; empty: connected
        const QString local = QStringLiteral("127.0.0.1");
        const QString refused = QStringLiteral("서버의 인증서를 거부했습니다: ");
        using Server = TcpRelay::Mysql;
        QTest::newRow("prefer: TLS offered")
            << DatabaseTls::Prefer << Server::AsItIs << local << false << true << QString();
        QTest::newRow("prefer: no TLS, used as before")
            << DatabaseTls::Prefer << Server::WithoutTls << local << false << false << QString();
        QTest::newRow("prefer: a TLS this client cannot speak, used as before")
            << DatabaseTls::Prefer << Server::FailingTls << local << false << false << QString();
        QTest::newRow("require: TLS, its certificate as it is")
            << DatabaseTls::Require << Server::AsItIs << local << false << true << QString();
        QTest::newRow("require: no TLS, refused")
            << DatabaseTls::Require << Server::WithoutTls << local << false << false << NotOffered;
        QTest::newRow("require: a TLS this client cannot speak, refused")
            << DatabaseTls::Require << Server::FailingTls << local << false << false << QStringLiteral("(2026: ");
        QTest::newRow("verify: the authority trusted")
            << DatabaseTls::Verify << Server::AsItIs << local << true << true << QString();
        QTest::newRow("verify: the authority not trusted")
            << DatabaseTls::Verify << Server::AsItIs << local << false << false
            << refused + QStringLiteral("이 PC가 신뢰하는 인증 기관이 발급하지 않았습니다.");
        QTest::newRow("verify: a name the certificate does not hold")
            << DatabaseTls::Verify << Server::AsItIs << QStringLiteral("127.0.0.2") << true << false
            << refused + QStringLiteral("접속한 서버의 이름이 인증서에 없습니다.");
    }
    void policies()
    {
        QFETCH(DatabaseTls, policy);
        QFETCH(TcpRelay::Mysql, server);
        QFETCH(QString, dialled);
        QFETCH(bool, trusted);
        QFETCH(bool, overTls);
        QFETCH(QString, refusal);

        TcpRelay relay(serverPort(), server, QHostAddress(dialled));
        std::optional<testsupport::TrustedCa> authority;
        if (trusted) {
            authority.emplace(qEnvironmentVariable("ZT_TEST_DB_CA"));
            QVERIFY2(authority->error().isEmpty(), qPrintable(authority->error()));
        }
        TestServices t;
        t.services.databaseTls = {policy, authority ? authority->policyCaFile() : QString()};
        cMySQL db(t.services);
        const bool connected = connectLogin(db, address(dialled, relay));
        if (refusal.isEmpty()) {
            QVERIFY2(connected, qPrintable(t.messageBox.texts().join(u'\n')));
            QCOMPARE(!serverCipher(db).isEmpty(), overTls);
            QVERIFY(t.messageBox.messages.isEmpty());
            return;
        }
        QVERIFY(!connected);
        QCOMPARE(t.messageBox.messages.size(), 1);
        QVERIFY2(t.messageBox.texts().constFirst().startsWith(CannotConnect + refusal),
                 qPrintable(t.messageBox.texts().constFirst()));
        // Refused for want of TLS: the client said nothing at all.
        if (server == TcpRelay::Mysql::WithoutTls)
            QCOMPARE(relay.fromClients(), QByteArray());
    }

    // A connection made again after the server dropped it is held to the same policy.
    void reconnectKeepsTheVerifiedTls()
    {
        const testsupport::TrustedCa authority(qEnvironmentVariable("ZT_TEST_DB_CA"));
        QVERIFY2(authority.error().isEmpty(), qPrintable(authority.error()));
        TestServices t;
        t.services.databaseTls = {DatabaseTls::Verify, authority.policyCaFile()};
        cMySQL db(t.services);
        QVERIFY(connectLogin(db, testdb::serverAddress()));
        const QList<qulonglong> first = m_root.loginConnections();
        QCOMPARE(first.size(), 1);
        QVERIFY2(m_root.killConnection(first.constFirst()), qPrintable(m_root.error()));
        QTRY_VERIFY(m_root.loginConnections().isEmpty());
        QVERIFY(!serverCipher(db).isEmpty());
        QVERIFY(!m_root.loginConnections().contains(first.constFirst()));
    }

    // A whole login (the allowlist's connection, then the login connection and the password check), recorded
    // as someone on the way would see it.
    void captureOfALogin_data()
    {
        QTest::addColumn<DatabaseTls>("policy");
        QTest::addColumn<TcpRelay::Mysql>("server");
        QTest::addColumn<bool>("readable"); // the password and the statements are in the recording
        QTest::newRow("TLS offered") << DatabaseTls::Prefer << TcpRelay::Mysql::AsItIs << false;
        QTest::newRow("no TLS, prefer: as before, readable")
            << DatabaseTls::Prefer << TcpRelay::Mysql::WithoutTls << true;
        QTest::newRow("no TLS, require: refused") << DatabaseTls::Require << TcpRelay::Mysql::WithoutTls << false;
    }
    void captureOfALogin()
    {
        QFETCH(DatabaseTls, policy);
        QFETCH(TcpRelay::Mysql, server);
        QFETCH(bool, readable);
        const QString password = QStringLiteral("캡처-Secret-7");
        QVERIFY(m_root.addUser(QStringLiteral("hong"), password));
        TestServices t;
        QVERIFY(m_root.addMac(QStringLiteral("hong"), t.machine.macAddress()));
        TcpRelay relay(serverPort(), server);
        modMain::DbServerHost = address(QStringLiteral("127.0.0.1"), relay);
        t.services.databaseTls.mode = policy;

        LoginSession session(t.services);
        const auto opening = session.FindUser();
        QVERIFY(opening);
        const bool refused = policy == DatabaseTls::Require && server == TcpRelay::Mysql::WithoutTls;
        if (refused) {
            QCOMPARE(*opening, LoginSession::Opening::ConnectFailed);
            QCOMPARE(t.messageBox.texts(), QStringList{CannotConnect + NotOffered});
            // Nothing but the server's greeting: one packet, its length in its first three bytes.
            const QByteArray seen = relay.toClients();
            QVERIFY(seen.size() > 4);
            QCOMPARE(seen.size(), 4 + (quint8(seen[0]) | quint8(seen[1]) << 8 | quint8(seen[2]) << 16));
            QCOMPARE(relay.fromClients(), QByteArray());
            return;
        }
        QCOMPARE(*opening, LoginSession::Opening::Allowed);
        QVERIFY(session.Connect());
        const auto check = session.CheckPassword(password);
        QVERIFY(check && *check == LoginSession::Check::Accepted);

        const QByteArray sent = relay.fromClients();
        const QByteArray seen = sent + relay.toClients();
        QCOMPARE(sent.contains(support::cp949::fromUnicode(password)), readable);
        QCOMPARE(sent.contains("svrtime"), readable);
        QCOMPARE(sent.contains("user_mac"), readable);
        QCOMPARE(seen.contains(testdb::passwordHash(password)), readable);
    }
};

QTEST_GUILESS_MAIN(tst_cMySQLTls)
#include "tst_cmysqltls.moc"
