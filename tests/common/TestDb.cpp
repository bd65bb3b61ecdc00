#include "TestDb.h"

#include "Cp949.h"
#include "modMainShared.h"

#include <QCryptographicHash>
#include <QTest>

#include <mysql.h>

namespace testdb {

bool available()
{
    return !qEnvironmentVariable("ZT_TEST_DB_HOST").isEmpty() && !qEnvironmentVariable("ZT_TEST_DB_PORT").isEmpty();
}

QString serverAddress()
{
    return qEnvironmentVariable("ZT_TEST_DB_HOST") + u':' + qEnvironmentVariable("ZT_TEST_DB_PORT");
}

QByteArray passwordHash(const QString& password)
{
    return QCryptographicHash::hash(support::cp949::fromUnicode(password), QCryptographicHash::Sha1).toHex();
}

Root::Root()
{
    if (!available()) {
        m_error = QStringLiteral("no test database");
        return;
    }
    m_mysql = mysql_init(nullptr);
    mysql_options(m_mysql, MYSQL_SET_CHARSET_NAME, "latin1");
    // Over TCP, as the program connects, so that the Windows build under Wine reaches it the same way.
    const QByteArray host = qEnvironmentVariable("ZT_TEST_DB_HOST").toUtf8();
    const unsigned int port = qEnvironmentVariable("ZT_TEST_DB_PORT").toUInt();
    if (!mysql_real_connect(m_mysql, host.constData(), "root", "", "zt_inhouse", port, nullptr, 0)) {
        m_error = QString::fromUtf8(mysql_error(m_mysql));
        mysql_close(m_mysql);
        m_mysql = nullptr;
    }
}

Root::~Root()
{
    if (m_mysql)
        mysql_close(m_mysql);
}

bool Root::exec(const QByteArray& sql)
{
    if (!m_mysql)
        return false;
    if (mysql_real_query(m_mysql, sql.constData(), static_cast<unsigned long>(sql.size())) != 0) {
        m_error = QString::fromUtf8(mysql_error(m_mysql));
        return false;
    }
    if (MYSQL_RES* result = mysql_store_result(m_mysql))
        mysql_free_result(result);
    return true;
}

QList<QList<QByteArray>> Root::select(const QByteArray& sql)
{
    QList<QList<QByteArray>> rows;
    if (!m_mysql || mysql_real_query(m_mysql, sql.constData(), static_cast<unsigned long>(sql.size())) != 0) {
        if (m_mysql)
            m_error = QString::fromUtf8(mysql_error(m_mysql));
        return rows;
    }
    MYSQL_RES* result = mysql_store_result(m_mysql);
    if (!result)
        return rows;
    const unsigned int count = mysql_num_fields(result);
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
        const unsigned long* lengths = mysql_fetch_lengths(result);
        QList<QByteArray> values;
        for (unsigned int i = 0; i < count; ++i)
            values.append(row[i] ? QByteArray(row[i], qsizetype(lengths[i])) : QByteArray());
        rows.append(values);
    }
    mysql_free_result(result);
    return rows;
}

QByteArray Root::quote(const QString& text)
{
    const QByteArray bytes = support::cp949::fromUnicode(text);
    QByteArray escaped(bytes.size() * 2 + 1, '\0');
    const unsigned long length =
        mysql_real_escape_string(m_mysql, escaped.data(), bytes.constData(), static_cast<unsigned long>(bytes.size()));
    escaped.truncate(qsizetype(length));
    return '\'' + escaped + '\'';
}

bool Root::clearTables()
{
    return exec("DELETE FROM zt_inhouse.user") && exec("DELETE FROM zt_inhouse.user_mac");
}

bool Root::addUser(const QString& id, const QString& password, int hidden)
{
    return exec("INSERT INTO zt_inhouse.user (id, password2, hidden) VALUES (" + quote(id) + ", '" +
                passwordHash(password) + "', " + QByteArray::number(hidden) + ")");
}

bool Root::addMac(const QString& userId, const QString& mac, int block)
{
    return exec("INSERT INTO zt_inhouse.user_mac (user_id, mac_addr, block) VALUES (" + quote(userId) + ", " +
                quote(mac) + ", " + QByteArray::number(block) + ")");
}

QList<qulonglong> Root::loginConnections()
{
    QList<qulonglong> ids;
    const auto rows = select("SELECT ID FROM information_schema.PROCESSLIST WHERE USER = 'zt_inhouse'");
    for (const auto& row : rows)
        ids.append(row.value(0).toULongLong());
    return ids;
}

bool Root::killConnection(qulonglong id)
{
    return exec("KILL CONNECTION " + QByteArray::number(id));
}

void DatabaseTest::initTestCase()
{
    if (!available())
        QSKIP(SkipReason);
    QVERIFY2(m_root.isOpen(), qPrintable(m_root.error()));
}

void DatabaseTest::init()
{
    QVERIFY2(m_root.clearTables(), qPrintable(m_root.error()));
    QTRY_VERIFY(m_root.loginConnections().isEmpty());
    modMain::DbServerHost = serverAddress();
}

} // namespace testdb
