#include "RecordingServices.h"
#include "TestDb.h"
#include "cMySQL.h"
#include "modMainShared.h"
#include "modPcAllowlist.h"

#include <QTest>

using testsupport::TestServices;

// The user id registered for this PC, looked up on the real throw-away server.
class tst_PcAllowlist : public testdb::DatabaseTest
{
    Q_OBJECT

private Q_SLOTS:
    void allowedUserId_data()
    {
        QTest::addColumn<QStringList>("rows");       // "user_id|mac|block"
        QTest::addColumn<QStringList>("candidates"); // this PC's MAC addresses, best first
        QTest::addColumn<QString>("userId");
        const QString mac = QStringLiteral("00:1A:2B:3C:4D:5E");
        const QString other = QStringLiteral("3C:52:82:00:00:01");
        QTest::newRow("registered") << QStringList{QStringLiteral("hong|") + mac + QStringLiteral("|0")}
                                    << QStringList{mac} << QStringLiteral("hong");
        QTest::newRow("blocked") << QStringList{QStringLiteral("hong|") + mac + QStringLiteral("|1")}
                                 << QStringList{mac} << QString();
        QTest::newRow("unknown MAC") << QStringList{QStringLiteral("kim|00:1A:2B:3C:4D:5F|0")} << QStringList{mac}
                                     << QString();
        QTest::newRow("blocked and registered") << QStringList{QStringLiteral("old|") + mac + QStringLiteral("|1"),
                                                               QStringLiteral("new|") + mac + QStringLiteral("|0")}
                                                << QStringList{mac} << QStringLiteral("new");
        QTest::newRow("korean id") << QStringList{QStringLiteral("홍길동|") + mac + QStringLiteral("|0")}
                                   << QStringList{mac} << QStringLiteral("홍길동");
        QTest::newRow("no rows at all") << QStringList{} << QStringList{mac} << QString();
        // The adapter registered is no longer the one the system lists first.
        QTest::newRow("registered address is the second candidate")
            << QStringList{QStringLiteral("hong|") + mac + QStringLiteral("|0")} << QStringList{other, mac}
            << QStringLiteral("hong");
        // A PC without a network adapter is unknown, whatever stray row the table holds.
        QTest::newRow("no MAC address, stray empty row")
            << QStringList{QStringLiteral("stray||0")} << QStringList{} << QString();
    }
    void allowedUserId()
    {
        QFETCH(QStringList, rows);
        QFETCH(QStringList, candidates);
        QFETCH(QString, userId);
        for (const QString& row : rows) {
            const QStringList parts = row.split(u'|');
            QVERIFY2(m_root.addMac(parts[0], parts[1], parts[2].toInt()), qPrintable(m_root.error()));
        }
        TestServices t;
        t.machine.macs = candidates;
        const platform::Result<QString> found = modPcAllowlist::GetAllowedUserId(t.services);
        QVERIFY(found.ok());
        QCOMPARE(*found, userId);
        QVERIFY(t.messageBox.messages.isEmpty());
        // Its own connection is gone once it has answered.
        QTRY_VERIFY(m_root.loginConnections().isEmpty());
    }

    void serverDownIsNotARefusal()
    {
        QVERIFY(m_root.addMac(QStringLiteral("hong"), QStringLiteral("00:1A:2B:3C:4D:5E")));
        modMain::DbServerHost = QStringLiteral("127.0.0.1:") + QString::number(testsupport::closedPort());
        TestServices t;
        const platform::Result<QString> found = modPcAllowlist::GetAllowedUserId(t.services);
        QVERIFY(!found.ok());
        QVERIFY(cMySQL::IsConnectFailure(found.error()));
        QCOMPARE(t.messageBox.texts(), QStringList{QStringLiteral("데이터베이스 서버에 접속할 수 없습니다.\r\n"
                                                                  "인터넷이 연결되어 있는지 확인 해 주세요.")});
    }
};

QTEST_GUILESS_MAIN(tst_PcAllowlist)
#include "tst_pcallowlist.moc"
