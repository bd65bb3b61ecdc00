#include "LoginSql.h"
#include "Recordset.h"
#include "VbError.h"
#include "cMySQL.h"
#include "modMainShared.h"

#include <QTest>

namespace {

// U+20A9 as a statement carries it. Windows sends the system's best-fit look-alike, as the classic program did,
// and it is escaped like a typed backslash; elsewhere it has no code-page-949 form and becomes "?".
#ifdef Q_OS_WIN
const QByteArray WonSign("\\\\");
#else
const QByteArray WonSign("?");
#endif

} // namespace

// The statements as they go to the server, the host text rule, and walking a recordset.
class tst_LoginSql : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Converted to code page 949 first, then escaped byte by byte.
    void escapeQuoted_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("escaped");
        QTest::newRow("plain") << QStringLiteral("hong123") << QByteArray("hong123");
        QTest::newRow("quote") << QStringLiteral("a'b") << QByteArray("a''b");
        QTest::newRow("backslash") << QStringLiteral("a\\b") << QByteArray("a\\\\b");
        QTest::newRow("both") << QStringLiteral("a'b\\c") << QByteArray("a''b\\\\c");
        QTest::newRow("backslash before quote") << QStringLiteral("\\'") << QByteArray("\\\\''");
        QTest::newRow("trailing backslash") << QStringLiteral("abc\\") << QByteArray("abc\\\\");
        QTest::newRow("injection") << QStringLiteral("' OR '1'='1") << QByteArray("'' OR ''1''=''1");
        QTest::newRow("nul cuts the rest")
            << (QStringLiteral("abc") + QChar(u'\0') + QStringLiteral("d'e")) << QByteArray("abc");
        QTest::newRow("nul first") << (QString(QChar(u'\0')) + QStringLiteral("abc")) << QByteArray();
        // 비밀 is BA F1 B9 D0, 번호 B9 F8 C8 A3.
        QTest::newRow("korean") << QStringLiteral("비밀'번호") << QByteArray("\xBA\xF1\xB9\xD0''\xB9\xF8\xC8\xA3");
        QTest::newRow("won sign") << QStringLiteral("₩'") << WonSign + "''";
#ifdef Q_OS_WIN
        QTest::newRow("best-fit look-alike") << QStringLiteral("café") << QByteArray("cafe");
#endif
        // Characters without a code-page-949 form or a look-alike become "?".
        QTest::newRow("snowman") << QStringLiteral("☃") << QByteArray("?");
    }
    void escapeQuoted()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, escaped);
        QCOMPARE(LoginSql::EscapeQuoted(text), escaped);
    }

    // The password goes as the hash of the bytes its literal used to carry; the server never sees it.
    void loginStatement_data()
    {
        QTest::addColumn<QString>("userId");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("statement");
        const auto statement = [](const QByteArray& id, const QByteArray& hash) {
            return "SELECT *, now() as svrtime FROM user where id='" + id + "' AND password2 = '" + hash +
                   "' and hidden=0";
        };
        QTest::newRow("plain") << QStringLiteral("hong") << QStringLiteral("pw")
                               << statement("hong", "1a91d62f7ca67399625a4368a6ab5d4a3baa6073");
        QTest::newRow("empty password") << QStringLiteral("hong") << QString()
                                        << statement("hong", "da39a3ee5e6b4b0d3255bfef95601890afd80709");
        QTest::newRow("quote and backslash") << QStringLiteral("o'neil") << QStringLiteral("a'b\\c")
                                             << statement("o''neil", "27a83f882cbe4d0150fdaee9774da5bd5230ce96");
        // Code page 949, never UTF-8: 가 is B0 A1, 나 is B3 AA.
        QTest::newRow("korean") << QStringLiteral("hong") << QStringLiteral("가나")
                                << statement("hong", "6f2df31f7c1c3e0351a7a9751c7583504f3eb77c");
        // Windows' best-fit backslash, elsewhere "?": the hash of the bytes either way, nothing to escape.
        QTest::newRow("won sign before a quote")
            << QStringLiteral("hong") << QStringLiteral("₩') OR 1=1 -- ")
            << statement("hong", WonSign == "?" ? "b5c122967fe5eeda084316645e222cf4e82c05c5"
                                                : "89b35c52ce3fdedb59e1db21b7544da5b55027ec");
    }
    void loginStatement()
    {
        QFETCH(QString, userId);
        QFETCH(QString, password);
        QFETCH(QByteArray, statement);
        QCOMPARE(LoginSql::LoginStatement(userId, password), statement);
    }

    void allowlistStatement()
    {
        QCOMPARE(LoginSql::AllowlistStatement(QStringLiteral("00:1A:2B:3C:4D:5E")),
                 QByteArray("SELECT user_id FROM user_mac WHERE mac_addr = '00:1A:2B:3C:4D:5E' AND block = 0"));
    }

    void splitHostPort_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host");
        QTest::addColumn<uint>("port");
        QTest::newRow("address") << QStringLiteral("10.1.2.3") << QStringLiteral("10.1.2.3") << 3306u;
        QTest::newRow("address and port") << QStringLiteral("10.1.2.3:3307") << QStringLiteral("10.1.2.3") << 3307u;
        QTest::newRow("name and port") << QStringLiteral("db.example:13306") << QStringLiteral("db.example") << 13306u;
        QTest::newRow("empty port") << QStringLiteral("db:") << QStringLiteral("db:") << 3306u;
        QTest::newRow("port not a number") << QStringLiteral("db:x1") << QStringLiteral("db:x1") << 3306u;
        QTest::newRow("port zero") << QStringLiteral("db:0") << QStringLiteral("db:0") << 3306u;
        QTest::newRow("port too big") << QStringLiteral("db:65536") << QStringLiteral("db:65536") << 3306u;
        QTest::newRow("bare IPv6") << QStringLiteral("::1") << QStringLiteral("::1") << 3306u;
        QTest::newRow("bracketed IPv6 and port") << QStringLiteral("[::1]:3307") << QStringLiteral("::1") << 3307u;
    }
    void splitHostPort()
    {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(uint, port);
        const HostAndPort split = ::splitHostPort(text, 3306);
        QCOMPARE(split.host, host);
        QCOMPARE(split.port, port);
    }

    void recordsetWalk()
    {
        Recordset rs({QStringLiteral("id"), QStringLiteral("note")},
                     {{QStringLiteral("a"), QVariant()}, {QStringLiteral("b"), QStringLiteral("메모")}});
        QCOMPARE(rs.recordCount(), 2);
        QVERIFY(!rs.atEnd());
        QCOMPARE(rs.text(QStringLiteral("ID")), QStringLiteral("a"));
        QVERIFY(rs.field(QStringLiteral("note")).isNull());
        rs.moveNext();
        QCOMPARE(rs.text(QStringLiteral("note")), QStringLiteral("메모"));
        rs.moveNext();
        QVERIFY(rs.atEnd());
        rs.moveFirst();
        QCOMPARE(rs.text(QStringLiteral("id")), QStringLiteral("a"));
    }

    void recordsetErrors_data()
    {
        QTest::addColumn<bool>("empty");
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("number");
        QTest::newRow("no current row") << true << QStringLiteral("id") << 3021;
        QTest::newRow("no such field") << false << QStringLiteral("user_id") << 3265;
    }
    void recordsetErrors()
    {
        QFETCH(bool, empty);
        QFETCH(QString, field);
        QFETCH(int, number);
        Recordset rs({QStringLiteral("id")},
                     empty ? QList<Recordset::Row>() : QList<Recordset::Row>{{QStringLiteral("a")}});
        try {
            rs.field(field);
            QFAIL("no error raised");
        } catch (const platform::VbError& error) {
            QCOMPARE(error.number(), number);
        }
    }

    void closeIfOpenOnRecordset()
    {
        auto open = std::make_shared<Recordset>(QStringList{QStringLiteral("id")}, QList<Recordset::Row>{});
        std::weak_ptr<Recordset> watch = open;
        auto keep = open; // someone else still holds it: Close must have run on the shared object
        modMain::CloseIfOpen(open);
        QVERIFY(!open);
        QCOMPARE(keep->State(), 0);
        keep.reset();
        QVERIFY(watch.expired());
    }
};

QTEST_GUILESS_MAIN(tst_LoginSql)
#include "tst_loginsql.moc"
