// login-tls-bench [ROUNDS=20]: what TLS costs a login and what it hides. Against the throw-away MariaDB
// (ZT_TEST_DB_HOST, _PORT, _CA, as scripts/lib/testdb.sh's testdb_start exports them), through a relay on
// loopback that records what crosses it, one whole login (the allowlist's connection, then the login
// connection and the password check) is timed ROUNDS times per policy, and once recorded: its bytes, and how
// often the password and the login statement appear in them. The server without TLS is the same server with
// its offer of TLS hidden by the relay.
#include "Cp949.h"
#include "LoginSession.h"
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
    std::printf("%-28s %10s %10s %10s %12s %9s %9s\n", "login", "median ms", "min ms", "max ms", "bytes seen",
                "password", "statement");
    for (const Case& c : cases) {
        t.services.databaseTls.mode = c.policy;
        t.services.databaseTls.caFile =
            c.policy == DatabaseTls::Verify ? qEnvironmentVariable("ZT_TEST_DB_CA") : QString();
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
        std::printf("%-28s %10.2f %10.2f %10.2f %12lld %9lld %9lld\n", c.name, median, ms.first(), ms.last(),
                    qint64(seen.size()), qint64(seen.count(password)), qint64(seen.count("svrtime")));
    }
    root.clearTables();
    return 0;
}
