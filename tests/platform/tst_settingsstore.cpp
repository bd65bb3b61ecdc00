#include "SettingsStore.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

namespace {

const QString Section = QStringLiteral("Config");
const QString Key = QStringLiteral("passwd");

// Runs the system's own registry tool; true when it says it succeeded.
bool runReg(const QStringList& args)
{
    QProcess reg;
    reg.start(QStringLiteral("reg.exe"), args);
    if (!reg.waitForFinished(60000)) {
        reg.kill();
        reg.waitForFinished(5000);
        return false;
    }
    return reg.exitStatus() == QProcess::NormalExit && reg.exitCode() == 0;
}

} // namespace

// The per-user registry store, checked against what the registry's own tool sees and writes.
class tst_SettingsStore : public QObject
{
    Q_OBJECT

    platform::SettingsStore m_store;
    QString m_app;

    QString sectionPath() const { return m_store.location(m_app) + u'\\' + Section; }

private Q_SLOTS:
    void init() { m_app = QStringLiteral("zt-test ") + QUuid::createUuid().toString(QUuid::WithoutBraces); }
    void cleanup() { runReg({QStringLiteral("delete"), m_store.location(m_app), QStringLiteral("/f")}); }

    void valuesAreStoredByteForByte_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << QStringLiteral("plain");
        QTest::newRow("leading at") << QStringLiteral("@starts with at");
        QTest::newRow("two ats") << QStringLiteral("@@two");
        QTest::newRow("korean") << QStringLiteral("한글 값");
        QTest::newRow("empty") << QString();
        QTest::newRow("quote and backslash") << QStringLiteral("a'b\\c\"d");
        QTest::newRow("long") << QString(5000, QChar(u'값')) + QStringLiteral("@end");
    }
    void valuesAreStoredByteForByte()
    {
        QFETCH(QString, value);
        m_store.write(m_app, Section, Key, QStringLiteral("replaced"));
        m_store.write(m_app, Section, Key, value);
        QCOMPARE(platform::SettingsStore().read(m_app, Section, Key, QStringLiteral("dflt")), value);

        // The registry tool sees the same text as a plain string value (its export file is UTF-16, quotes and
        // backslashes escaped; a value of another type would be written as hex).
        QTemporaryDir dir;
        const QString file = QDir::toNativeSeparators(dir.filePath(QStringLiteral("export.reg")));
        QVERIFY(runReg({QStringLiteral("export"), sectionPath(), file, QStringLiteral("/y")}));
        QFile exported(file);
        QVERIFY(exported.open(QIODevice::ReadOnly));
        const QByteArray utf16 = exported.readAll();
        const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(utf16.constData()), utf16.size() / 2);
        QString escaped = value;
        escaped.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
        QVERIFY(text.contains(QStringLiteral("\r\n\"passwd\"=\"") + escaped + QStringLiteral("\"\r\n")));
    }

    // Values left by another program are read as they are; anything but a plain string is no value.
    void valuesOfOtherProgramsAreReadAsTheyAre_data()
    {
        QTest::addColumn<QString>("type"); // empty: no value; "none": not even the key
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("read");
        const QString dflt = QStringLiteral("dflt");
        QTest::newRow("plain") << QStringLiteral("REG_SZ") << QStringLiteral("hong") << QStringLiteral("hong");
        QTest::newRow("leading at") << QStringLiteral("REG_SZ") << QStringLiteral("@x") << QStringLiteral("@x");
        QTest::newRow("two ats") << QStringLiteral("REG_SZ") << QStringLiteral("@@two") << QStringLiteral("@@two");
        QTest::newRow("korean") << QStringLiteral("REG_SZ") << QStringLiteral("한글 값") << QStringLiteral("한글 값");
        QTest::newRow("empty") << QStringLiteral("REG_SZ") << QString() << QString();
        QTest::newRow("number") << QStringLiteral("REG_DWORD") << QStringLiteral("1") << dflt;
        QTest::newRow("expandable") << QStringLiteral("REG_EXPAND_SZ") << QStringLiteral("x") << dflt;
        QTest::newRow("list") << QStringLiteral("REG_MULTI_SZ") << QStringLiteral("a\\0b") << dflt;
        QTest::newRow("missing value") << QString() << QString() << dflt;
        QTest::newRow("missing key") << QStringLiteral("none") << QString() << dflt;
    }
    void valuesOfOtherProgramsAreReadAsTheyAre()
    {
        QFETCH(QString, type);
        QFETCH(QString, data);
        QFETCH(QString, read);
        if (type != QStringLiteral("none"))
            m_store.write(m_app, Section, QStringLiteral("other"), QStringLiteral("x"));
        if (!type.isEmpty() && type != QStringLiteral("none"))
            QVERIFY(runReg({QStringLiteral("add"), sectionPath(), QStringLiteral("/v"), Key, QStringLiteral("/t"), type,
                            QStringLiteral("/d"), data, QStringLiteral("/f")}));
        QCOMPARE(m_store.read(m_app, Section, Key, QStringLiteral("dflt")), read);
    }
};

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
