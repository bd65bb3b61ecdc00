#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

struct st_mysql;

// The throw-away MariaDB server that scripts/test starts, reached as root over its socket to seed rows and
// to look at the server's side of a test. Talks to the server through the C library directly, not cMySQL.
namespace testdb {

/** True when scripts/test has started a server for this run (ZT_TEST_DB_* set). */
bool available();
/** Why a database test is skipped when there is no server. */
inline constexpr char SkipReason[] = "no test database: run scripts/test, or set ZT_TEST_DB_HOST and ZT_TEST_DB_PORT";
/** "127.0.0.1:port": what DbServerHost holds to reach the test server. */
QString serverAddress();
/** The SHA1 of the code-page-949 bytes of password, as the user table stores it. */
QByteArray passwordHash(const QString& password);

class Root final
{
public:
    Root();
    ~Root();
    Root(const Root&) = delete;
    Root& operator=(const Root&) = delete;

    bool isOpen() const { return m_mysql != nullptr; }
    const QString& error() const { return m_error; }

    /** Runs sql (code-page-949 bytes); false (with error()) when the server refused it. */
    bool exec(const QByteArray& sql);
    /** The rows of sql, each value as raw bytes (NULL as a null QByteArray). */
    QList<QList<QByteArray>> select(const QByteArray& sql);
    /** sql's text between quotes. */
    QByteArray quote(const QString& text);

    /** Empties user and user_mac. */
    bool clearTables();
    bool addUser(const QString& id, const QString& password, int hidden = 0);
    bool addMac(const QString& userId, const QString& mac, int block = 0);
    /** Ids of the connections the login account holds open right now. */
    QList<qulonglong> loginConnections();
    /** Ends a connection from the server's side, as a restarted server does. */
    bool killConnection(qulonglong id);

private:
    st_mysql* m_mysql = nullptr;
    QString m_error;
};

/** A test class against the throw-away server: skips when there is none, and starts every test with empty
 *  tables, no login connection left over, and DbServerHost pointing at the server. */
class DatabaseTest : public QObject
{
    Q_OBJECT

protected:
    Root m_root;

protected Q_SLOTS:
    void initTestCase();
    void init();
};

} // namespace testdb
