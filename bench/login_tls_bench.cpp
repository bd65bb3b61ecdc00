// login-tls-bench [ROUNDS=20]: what TLS costs a login and what it hides. Against the throw-away MariaDB
// (ZT_TEST_DB_HOST, _PORT, _CA, as scripts/lib/testdb.sh's testdb_start exports them), through a relay on
// loopback that records what crosses it, one whole login (the allowlist's connection, then the login
// connection and the password check) is timed ROUNDS times per policy, and once recorded: its bytes, and how
// often the password and the login statement appear in them. The server without TLS is the same server with
// its offer of TLS hidden by the relay. Then the attacks: after an honest login, the relay strips the greeting
// or breaks the handshake, and the next login's bytes from the PC are recorded: those outside TLS, and how often
// the account's name and the password appear in them.
#include "Cp949.h"
#include "LoginSession.h"
#include "LoginSql.h"
#include "RecordingServices.h"
#include "TcpRelay.h"
#include "TestDb.h"
#include "modMainShared.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>

using platform::DatabaseTls;
using testsupport::TcpRelay;

namespace {

const QString Password = QStringLiteral("벤치-Secret-42");

bool logIn(const platform::Services& services)
{
    LoginSession session(services);
    const auto opening = session.FindUser();
    if (!opening || *opening != LoginSession::Opening::Allowed || !session.Connect())
        return false;
    const auto check = session.CheckPassword(Password);
    return check && *check == LoginSession::Check::Accepted;
}

struct Case
{
    const char* name;
    DatabaseTls policy;
    TcpRelay::Mysql server;
};

// The bytes of a client's recorded stream that are not inside TLS: MySQL packets, until one asks for TLS (a
// 32-byte answer to the greeting with the TLS flag); then TLS records, until the next connection's packets.
qint64 clearBytes(const QByteArray& sent)
{
    const auto at = [&](qsizetype i) { return i < sent.size() ? quint8(sent[i]) : 0u; };
    qint64 clear = 0;
    bool tls = false;
    for (qsizetype i = 0; i + 4 <= sent.size();) {
        if (tls && at(i) >= 0x14 && at(i) <= 0x17 && at(i + 1) == 3) {
            i += 5 + qsizetype(at(i + 3) << 8 | at(i + 4));
            continue;
        }
        const qsizetype length = qsizetype(at(i) | at(i + 1) << 8 | at(i + 2) << 16);
        tls = length == 32 && (at(i + 5) & 0x08);
        clear += 4 + length;
        i += 4 + length;
    }
    return clear;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    if (!testdb::available() || qEnvironmentVariableIsEmpty("ZT_TEST_DB_CA")) {
        std::fprintf(stderr, "%s\n", testdb::SkipReason);
        return 2;
    }
    testdb::Root root;
    testsupport::TestServices t;
    if (!root.isOpen() || !root.clearTables() || !root.addUser(QStringLiteral("bench"), Password) ||
        !root.addMac(QStringLiteral("bench"), t.machine.macAddress())) {
        std::fprintf(stderr, "the test database refused the bench's rows: %s\n", qPrintable(root.error()));
        return 1;
    }
    const quint16 port = quint16(qEnvironmentVariableIntValue("ZT_TEST_DB_PORT"));
    const QByteArray password = support::cp949::fromUnicode(Password);

    const Case cases[] = {
        {"no TLS (server without it)", DatabaseTls::Prefer, TcpRelay::Mysql::WithoutTls},
        {"TLS, prefer", DatabaseTls::Prefer, TcpRelay::Mysql::AsItIs},
        {"TLS, require", DatabaseTls::Require, TcpRelay::Mysql::AsItIs},
        {"TLS, verify", DatabaseTls::Verify, TcpRelay::Mysql::AsItIs},
    };
    std::printf("%-28s %10s %10s %10s %9s %12s %9s %9s\n", "login", "median ms", "min ms", "max ms", "+ms/conn",
                "bytes seen", "password", "statement");
    double plain = 0;
    for (const Case& c : cases) {
        t.services.databaseTls = {c.policy,
                                  c.policy == DatabaseTls::Verify ? qEnvironmentVariable("ZT_TEST_DB_CA") : QString()};
        TcpRelay recorded(port, c.server);
        modMain::DbServerHost = QStringLiteral("127.0.0.1:") + QString::number(recorded.port());
        if (!logIn(t.services)) {
            std::fprintf(stderr, "%s: the login failed: %s\n", c.name, qPrintable(t.messageBox.texts().join(u' ')));
            return 1;
        }
        const QByteArray seen = recorded.fromClients() + recorded.toClients();

        TcpRelay relay(port, c.server);
        modMain::DbServerHost = QStringLiteral("127.0.0.1:") + QString::number(relay.port());
        QList<double> ms;
        for (int i = 0; i < rounds; ++i) {
            QElapsedTimer timer;
            timer.start();
            if (!logIn(t.services))
                return 1;
            ms.append(double(timer.nsecsElapsed()) / 1e6);
        }
        std::sort(ms.begin(), ms.end());
        const double median = rounds % 2 ? ms[rounds / 2] : (ms[rounds / 2 - 1] + ms[rounds / 2]) / 2;
        if (c.server == TcpRelay::Mysql::WithoutTls)
            plain = median;
        // A login opens two connections.
        std::printf("%-28s %10.2f %10.2f %10.2f %9.2f %12lld %9lld %9lld\n", c.name, median, ms.first(), ms.last(),
                    (median - plain) / 2, qint64(seen.size()), qint64(seen.count(password)),
                    qint64(seen.count("svrtime")));
    }

    const Case attacks[] = {
        {"prefer, greeting stripped", DatabaseTls::Prefer, TcpRelay::Mysql::WithoutTls},
        {"prefer, handshake broken", DatabaseTls::Prefer, TcpRelay::Mysql::BrokenHandshake},
        {"require, greeting stripped", DatabaseTls::Require, TcpRelay::Mysql::WithoutTls},
        {"require, handshake broken", DatabaseTls::Require, TcpRelay::Mysql::BrokenHandshake},
    };
    const QByteArray account = support::cp949::fromUnicode(QString::fromUtf16(LoginSql::AccountUser));
    std::printf("\nafter an honest TLS login   %9s %12s %12s %9s\n", "logged in", "bytes clear", "account name",
                "password");
    for (const Case& c : attacks) {
        t.services.databaseTls = {c.policy, QString()};
        TcpRelay relay(port, TcpRelay::Mysql::AsItIs);
        modMain::DbServerHost = QStringLiteral("127.0.0.1:") + QString::number(relay.port());
        if (!logIn(t.services)) {
            std::fprintf(stderr, "%s: the honest login failed: %s\n", c.name,
                         qPrintable(t.messageBox.texts().join(u' ')));
            return 1;
        }
        relay.setMysql(c.server);
        const bool loggedIn = logIn(t.services);
        const QByteArray sent = relay.fromClients();
        std::printf("%-28s %9s %12lld %12lld %9lld\n", c.name, loggedIn ? "yes" : "no", clearBytes(sent),
                    qint64(sent.count(account)), qint64(sent.count(password)));
    }
    root.clearTables();
    return 0;
}
