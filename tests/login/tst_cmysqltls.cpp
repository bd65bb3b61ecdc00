#include "Cp949.h"
#include "LoginSession.h"
#include "RecordingServices.h"
#include "TcpRelay.h"
#include "TestDb.h"
#include "cMySQL.h"
#include "modMainShared.h"

#include <QDate>
#include <QTest>

#include <optional>

#ifdef Q_OS_WIN
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <windows.h>

#include <wincrypt.h>
#endif

using platform::DatabaseTls;
using Server = testsupport::TcpRelay::Mysql;

namespace {

// The test server's authority, trusted as this system trusts IT's: the policy's CA file, or on Windows the
// machine's root store (from where, under Wine, only deleting its registry key takes it out again).
struct TrustedTestCa final
{
    QString caFile = qEnvironmentVariable("ZT_TEST_DB_CA");
    bool ok = !caFile.isEmpty();
#ifdef Q_OS_WIN
    QString key = QStringLiteral("Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\");
    TrustedTestCa()
    {
        QFile pem(caFile);
        // The base64 between "-----BEGIN CERTIFICATE-----" and "-----END": the eleventh piece between dashes.
        const QByteArray der =
            pem.open(QIODevice::ReadOnly) ? QByteArray::fromBase64(pem.readAll().split('-').value(10)) : QByteArray();
        HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
        ok = store &&
             CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.constData()),
                                              DWORD(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
        if (store)
            CertCloseStore(store, 0);
        key += QString::fromLatin1(QCryptographicHash::hash(der, QCryptographicHash::Sha1).toHex().toUpper());
        caFile.clear();
    }
    ~TrustedTestCa()
    {
        if (ok)
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(key.utf16()));
    }
#endif
};

} // namespace

// A whole login (the allowlist's connection, the login connection, the password check) under each TLS policy,
// against the throw-away server (TLS, a certificate of its own authority), through a relay that records what
// crosses it as someone on the way would and can make the server one without TLS, or with a TLS it cannot speak,
// or break its handshake; first with a server new to this PC, or after an honest login over TLS.
class tst_cMySQLTls : public testdb::DatabaseTest
{
    Q_OBJECT

private Q_SLOTS:
    void policies_data()
    {
        QTest::addColumn<DatabaseTls>("policy");
        QTest::addColumn<Server>("server");
        QTest::addColumn<QString>("dialled");
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<QString>("refusal"); // the start of the message's second line; empty: logged in
        QTest::addColumn<int>("spokeTls");    // days since this PC last spoke TLS with the server; -1: never
        using enum DatabaseTls;
        using enum Server;
#ifdef Q_OS_WIN
        // Wine's Schannel matches a certificate's DNS names only, not its IP addresses.
        const QString local = QStringLiteral("localhost");
#else
        // To the connector, "localhost" is its Unix socket.
        const QString local = QStringLiteral("127.0.0.1");
#endif
        const QString refused = QStringLiteral("서버의 인증서를 거부했습니다: ");
        const auto row = [&](const char* name, DatabaseTls policy, Server server, bool trusted, const QString& refusal,
                             const QString& dialled, int spokeTls = -1) {
            QTest::newRow(name) << policy << server << (dialled.isEmpty() ? local : dialled) << trusted << refusal
                                << spokeTls;
        };
        const QString none;
        const QString handshake = QStringLiteral("암호화 연결(TLS)을 맺지 못했습니다 (");
        const QString withdrawn = QStringLiteral("이 서버는 전에 이 PC와 암호화 연결(TLS)을 했지만");
        row("prefer: TLS offered", Prefer, AsItIs, false, none, none);
        row("prefer: no TLS, as before", Prefer, WithoutTls, false, none, none);
        row("prefer: a TLS it cannot speak, as before", Prefer, FailingTls, false, none, none);
        row("require: TLS, the certificate as it is", Require, AsItIs, false, none, none);
        row("require: no TLS", Require, WithoutTls, false,
            QStringLiteral("이 PC의 정책은 암호화 연결(TLS)을 요구하지만"), none);
        row("require: a TLS it cannot speak", Require, FailingTls, false, handshake, none);
        row("prefer: spoke TLS before, the handshake broken", Prefer, BrokenHandshake, false, handshake, none, 0);
        row("prefer: spoke TLS before, the greeting stripped", Prefer, WithoutTls, false, withdrawn, none, 0);
        row("require: the greeting stripped after an honest login", Require, WithoutTls, false, withdrawn, none, 0);
        row("prefer: spoke TLS a year and a day ago, no TLS: as before", Prefer, WithoutTls, false, none, none,
            int(cMySQL::TlsMemoryDays) + 1);
        row("prefer: spoke TLS a year and a day ago, TLS offered: remembered anew", Prefer, AsItIs, false, none, none,
            int(cMySQL::TlsMemoryDays) + 1);
        row("verify: the authority not trusted", Verify, AsItIs, false,
            refused + QStringLiteral("이 PC가 신뢰하는 인증 기관이"), none);
        row("verify: the authority trusted", Verify, AsItIs, true, none, none);
        row("verify: a name the certificate lacks", Verify, AsItIs, true,
            refused + QStringLiteral("접속한 서버의 이름이"), QStringLiteral("127.0.0.2"));
    }
    void policies()
    {
        QFETCH(DatabaseTls, policy);
        QFETCH(Server, server);
        QFETCH(QString, dialled);
        QFETCH(bool, trusted);
        QFETCH(QString, refusal);
        QFETCH(int, spokeTls);
#ifdef Q_OS_WIN
        if (server == Server::FailingTls || server == Server::BrokenHandshake)
            QSKIP("Wine's Schannel crashes when the connector asks a failed handshake for its sizes (a real PC answers "
                  "with an error): the same choice is made on Linux");
        // Wine reads the machine's root store once in a process: a row that trusts the authority runs alone in a
        // process of its own, which trusts it before its first connection.
        if (trusted && !qEnvironmentVariableIsSet("ZT_TEST_ROW_ALONE")) {
            const QString log = QDir::temp().filePath(QStringLiteral("tst_cmysqltls-row.txt"));
            qputenv("ZT_TEST_ROW_ALONE", "1");
            QProcess alone;
            alone.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("policies:") + QString::fromUtf8(QTest::currentDataTag()), QStringLiteral("-o"),
                         log + QStringLiteral(",txt")});
            const bool passed = alone.waitForFinished(120000) && alone.exitCode() == 0;
            qunsetenv("ZT_TEST_ROW_ALONE");
            QVERIFY2(passed, testsupport::readFile(log).constData());
            QFile::remove(log);
            return;
        }
#endif
        const QString password = QStringLiteral("캡처-Secret-7");
        testsupport::TestServices t;
        QVERIFY(m_root.addUser(QStringLiteral("hong"), password) &&
                m_root.addMac(QStringLiteral("hong"), t.machine.macAddress()));
        testsupport::TcpRelay relay(quint16(qEnvironmentVariableIntValue("ZT_TEST_DB_PORT")), Server::AsItIs,
                                    QHostAddress(dialled).isNull() ? QHostAddress(QHostAddress::LocalHost)
                                                                   : QHostAddress(dialled));
        modMain::DbServerHost = dialled + u':' + QString::number(relay.port());
        std::optional<TrustedTestCa> authority;
        if (trusted)
            QVERIFY(authority.emplace().ok);
        t.services.databaseTls = {policy, authority ? authority->caFile : QString()};
        const QString app = QString::fromUtf16(cMySQL::TlsMemoryApp);
        const QString section = QString::fromUtf16(cMySQL::TlsMemorySection);
        if (spokeTls > 0)
            t.settings.write(app, section, modMain::DbServerHost,
                             QDate::currentDate().addDays(-spokeTls).toString(Qt::ISODate));
        qputenv("SSL_CERT_FILE", "/the-user's-own");
        if (spokeTls == 0)
            QCOMPARE(LoginSession(t.services).FindUser().valueOr(LoginSession::Opening::ConnectFailed),
                     LoginSession::Opening::Allowed);
        relay.setMysql(server);

        LoginSession session(t.services);
        const auto opening = session.FindUser();
        QVERIFY(opening);
        if (!refusal.isEmpty()) {
            QCOMPARE(*opening, LoginSession::Opening::ConnectFailed);
            QCOMPARE(t.messageBox.messages.size(), 1);
            QVERIFY2(t.messageBox.texts().constFirst().startsWith(
                         QStringLiteral("데이터베이스 서버에 접속할 수 없습니다.\r\n") + refusal),
                     qPrintable(t.messageBox.texts().constFirst()));
            // Refused for want of TLS: nothing crossed but the server's greeting (one packet, its length first).
            const QByteArray seen = relay.toClients();
            QVERIFY(server != Server::WithoutTls ||
                    (relay.fromClients().isEmpty() &&
                     seen.size() == 4 + (quint8(seen[0]) | quint8(seen[1]) << 8 | quint8(seen[2]) << 16)));
            QVERIFY(!relay.fromClients().contains("zt_inhouse")); // never tried again in clear
            return;
        }
        QCOMPARE(*opening, LoginSession::Opening::Allowed);
        QVERIFY(session.Connect());
        const auto check = session.CheckPassword(password);
        QVERIFY(check && *check == LoginSession::Check::Accepted);
        // Readable by anyone on the way exactly when the server offers no TLS this client speaks.
        const bool readable = server != Server::AsItIs;
        const QByteArray sent = relay.fromClients();
        QCOMPARE(sent.contains(support::cp949::fromUnicode(password)), readable);
        QCOMPARE(sent.contains("svrtime") && sent.contains("user_mac"), readable);
        QCOMPARE(relay.toClients().contains(testdb::passwordHash(password)), readable);
        // A login over TLS is remembered from today; without, the memory stays as it was.
        QCOMPARE(t.settings.read(app, section, modMain::DbServerHost) == QDate::currentDate().toString(Qt::ISODate),
                 !readable);
        // What is started later inherits the user's own authorities, not those of a connection.
        QCOMPARE(qgetenv("SSL_CERT_FILE"), QByteArray("/the-user's-own"));
    }
};

QTEST_GUILESS_MAIN(tst_cMySQLTls)
#include "tst_cmysqltls.moc"
