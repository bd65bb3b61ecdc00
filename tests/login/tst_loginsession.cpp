#include "Cp949.h"
#include "LoginSession.h"
#include "RecordingServices.h"
#include "TestDb.h"
#include "modMainShared.h"

#include <QScopeGuard>
#include <QTest>

using testsupport::TestServices;
using Opening = LoginSession::Opening;
using Check = LoginSession::Check;

namespace {

const QString Mac = QStringLiteral("00:1A:2B:3C:4D:5E");

// What the login dialog's activation does: the allowlist, then the login connection.
bool open(LoginSession& session)
{
    return session.FindUser().valueOr(Opening::ConnectFailed) == Opening::Allowed && session.Connect();
}

} // namespace

// The login rules against the real throw-away server, without the dialog.
class tst_LoginSession : public testdb::DatabaseTest
{
    Q_OBJECT

private Q_SLOTS:
    void openAsksTheAllowlistThenConnects_data()
    {
        QTest::addColumn<QString>("registeredMac");
        QTest::addColumn<bool>("serverUp");
        QTest::addColumn<Opening>("opening");
        QTest::addColumn<int>("loginConnections");
        QTest::newRow("allowed") << Mac << true << Opening::Allowed << 1;
        QTest::newRow("unknown PC") << QStringLiteral("00:1A:2B:3C:4D:5F") << true << Opening::UnknownPc << 0;
        QTest::newRow("server down") << Mac << false << Opening::ConnectFailed << 0;
    }
    void openAsksTheAllowlistThenConnects()
    {
        QFETCH(QString, registeredMac);
        QFETCH(bool, serverUp);
        QFETCH(Opening, opening);
        QFETCH(int, loginConnections);
        QVERIFY(m_root.addMac(QStringLiteral("hong"), registeredMac));
        if (!serverUp)
            modMain::DbServerHost = QStringLiteral("127.0.0.1:") + QString::number(testsupport::closedPort());
        TestServices t;
        {
            LoginSession session(t.services);
            const auto found = session.FindUser();
            QVERIFY(found.ok());
            QCOMPARE(*found, opening);
            QCOMPARE(session.userId(), opening == Opening::Allowed ? QStringLiteral("hong") : QString());
            if (opening == Opening::Allowed)
                QVERIFY(session.Connect());
            // Only the login connection stays open; the allowlist's own is gone.
            QTRY_COMPARE(m_root.loginConnections().size(), loginConnections);
            // Only a failed connection has shown its message.
            QCOMPARE(t.messageBox.messages.size(), serverUp ? 0 : 1);
        }
        // Releasing the session releases the login connection.
        QTRY_VERIFY(m_root.loginConnections().isEmpty());
    }

    void allowlistErrorComesBack()
    {
        QVERIFY2(m_root.exec("RENAME TABLE zt_inhouse.user_mac TO zt_inhouse.user_mac_away"),
                 qPrintable(m_root.error()));
        auto restore =
            qScopeGuard([this] { m_root.exec("RENAME TABLE zt_inhouse.user_mac_away TO zt_inhouse.user_mac"); });
        TestServices t;
        LoginSession session(t.services);
        const auto found = session.FindUser();
        QVERIFY(!found.ok());
        QCOMPARE(found.error().number(), 1146);
        QVERIFY(t.messageBox.messages.isEmpty());
    }

    // What the server hashes is the password as the user meant it; anything else is refused alike.
    void checkPassword_data()
    {
        QTest::addColumn<QString>("userId");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("hidden");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<Check>("check");
        const QString hong = QStringLiteral("hong");
        const QString pw = QStringLiteral("pw1234");
        QTest::newRow("right password") << hong << pw << 0 << pw << Check::Accepted;
        QTest::newRow("wrong password") << hong << pw << 0 << QStringLiteral("pw9999") << Check::WrongPassword;
        QTest::newRow("hidden account") << hong << pw << 1 << pw << Check::WrongPassword;
        QTest::newRow("injection") << hong << pw << 0 << QStringLiteral("' OR '1'='1") << Check::WrongPassword;
        QTest::newRow("injection through a backslash")
            << hong << pw << 0 << QStringLiteral("\\' OR 1=1 -- ") << Check::WrongPassword;
        QTest::newRow("injection through a won sign")
            << hong << pw << 0 << QStringLiteral("₩') OR 1=1 -- ") << Check::WrongPassword;
        QTest::newRow("quote") << hong << QStringLiteral("a'b") << 0 << QStringLiteral("a'b") << Check::Accepted;
        QTest::newRow("backslash") << hong << QStringLiteral("a\\b") << 0 << QStringLiteral("a\\b") << Check::Accepted;
        QTest::newRow("both") << hong << QStringLiteral("a'b\\c") << 0 << QStringLiteral("a'b\\c") << Check::Accepted;
        QTest::newRow("trailing backslash")
            << hong << QStringLiteral("abc\\") << 0 << QStringLiteral("abc\\") << Check::Accepted;
        QTest::newRow("nul and what follows never sent")
            << hong << QStringLiteral("abc") << 0 << (QStringLiteral("abc") + QChar(u'\0') + QStringLiteral("zzz"))
            << Check::Accepted;
        QTest::newRow("korean") << hong << QStringLiteral("비밀번호가나다") << 0 << QStringLiteral("비밀번호가나다")
                                << Check::Accepted;
        QTest::newRow("quote in the user id")
            << QStringLiteral("o'neil") << QStringLiteral("pw") << 0 << QStringLiteral("pw") << Check::Accepted;
        QTest::newRow("korean user id") << QStringLiteral("홍길동") << QStringLiteral("pw") << 0 << QStringLiteral("pw")
                                        << Check::Accepted;
        QTest::newRow("empty password") << hong << QString() << 0 << QString() << Check::Accepted;
    }
    void checkPassword()
    {
        QFETCH(QString, userId);
        QFETCH(QString, stored);
        QFETCH(int, hidden);
        QFETCH(QString, typed);
        QFETCH(Check, check);
        QVERIFY(m_root.addMac(userId, Mac));
        QVERIFY2(m_root.addUser(userId, stored, hidden), qPrintable(m_root.error()));
        TestServices t;
        LoginSession session(t.services);
        QVERIFY(open(session));
        QCOMPARE(session.userId(), userId);
        const auto checked = session.CheckPassword(typed);
        QVERIFY(checked.ok());
        QCOMPARE(*checked, check);
        QVERIFY(t.messageBox.messages.isEmpty());
    }

    // The server, and the log it keeps of every statement, sees the password's hash and never the password.
    void serverLogHoldsOnlyTheHash()
    {
        const QString password = QStringLiteral("로그-Secret-9");
        QVERIFY(m_root.addMac(QStringLiteral("hong"), Mac) && m_root.addUser(QStringLiteral("hong"), password));
        QVERIFY(m_root.exec("SET GLOBAL log_output = 'TABLE'") && m_root.exec("TRUNCATE mysql.general_log"));
        QVERIFY(m_root.exec("SET GLOBAL general_log = 1"));
        TestServices t;
        LoginSession session(t.services);
        const bool accepted =
            open(session) && session.CheckPassword(password).valueOr(Check::WrongPassword) == Check::Accepted;
        QVERIFY(m_root.exec("SET GLOBAL general_log = 0") && accepted);
        QByteArray log;
        for (const auto& row : m_root.select("SELECT argument FROM mysql.general_log"))
            log += row.value(0) + '\n';
        QVERIFY2(log.contains("password2 = '" + testdb::passwordHash(password) + "'"), log.constData());
        QVERIFY(!log.contains(support::cp949::fromUnicode(password)));
    }

    // A restarted server ends every connection; the client sees it from the server's side.
    void serverRestartedBetweenOpenAndCheck()
    {
        QVERIFY(m_root.addMac(QStringLiteral("hong"), Mac));
        QVERIFY(m_root.addUser(QStringLiteral("hong"), QStringLiteral("pw")));
        TestServices t;
        LoginSession session(t.services);
        QVERIFY(open(session));
        QTRY_COMPARE(m_root.loginConnections().size(), 1);
        QVERIFY2(m_root.killConnection(m_root.loginConnections().constFirst()), qPrintable(m_root.error()));
        QTRY_VERIFY(m_root.loginConnections().isEmpty());

        QCOMPARE(session.CheckPassword(QStringLiteral("pw")).valueOr(Check::WrongPassword), Check::Accepted);
        QVERIFY(t.messageBox.messages.isEmpty());
    }

    void databaseErrorComesBackAndTheSessionStaysUsable()
    {
        QVERIFY(m_root.addMac(QStringLiteral("hong"), Mac));
        QVERIFY(m_root.addUser(QStringLiteral("hong"), QStringLiteral("pw")));
        TestServices t;
        LoginSession session(t.services);
        QVERIFY(open(session));
        QVERIFY2(m_root.exec("RENAME TABLE zt_inhouse.user TO zt_inhouse.user_away"), qPrintable(m_root.error()));
        auto restore = qScopeGuard([this] { m_root.exec("RENAME TABLE zt_inhouse.user_away TO zt_inhouse.user"); });

        const auto failed = session.CheckPassword(QStringLiteral("pw"));
        QVERIFY(!failed.ok());
        QCOMPARE(failed.error().number(), 1146);

        restore.dismiss();
        QVERIFY2(m_root.exec("RENAME TABLE zt_inhouse.user_away TO zt_inhouse.user"), qPrintable(m_root.error()));
        QCOMPARE(session.CheckPassword(QStringLiteral("pw")).valueOr(Check::WrongPassword), Check::Accepted);
    }
};

QTEST_GUILESS_MAIN(tst_LoginSession)
#include "tst_loginsession.moc"
