#include "Processes.h"
#include "RecordingServices.h"
#include "SettingsStore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestPlatform final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void settingsReadDefaultsAndWriteBack_data()
    {
        QTest::addColumn<QString>("app");
        QTest::newRow("program title") << QStringLiteral("NorvaQuillet");
        QTest::newRow("korean name with a blank") << QStringLiteral("Norva 업무관리");
    }
    void settingsReadDefaultsAndWriteBack()
    {
        QFETCH(QString, app);
        QTemporaryDir dir;
        const QString section = QStringLiteral("Config");
        {
            platform::SettingsStore store(dir.path());
            QCOMPARE(store.read(app, section, QStringLiteral("passwd"), QStringLiteral("dflt")),
                     QStringLiteral("dflt"));
            store.write(app, section, QStringLiteral("passwd"), QStringLiteral("암호 'a\\b\""));
            store.write(app, section, QStringLiteral("empty"), QString());
        }
        // A new store (a restarted program) reads what was written, and only the owner may read it.
        platform::SettingsStore again(dir.path());
        QCOMPARE(again.read(app, section, QStringLiteral("passwd"), QStringLiteral("dflt")),
                 QStringLiteral("암호 'a\\b\""));
        QCOMPARE(again.read(app, section, QStringLiteral("empty"), QStringLiteral("dflt")), QString());
        const QString file = again.location(app);
        QVERIFY(file.startsWith(dir.path()));
        QCOMPARE(QFile::permissions(file) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    void settingsOfTwoAppsStayApart()
    {
        QTemporaryDir dir;
        platform::SettingsStore store(dir.path());
        store.write(QStringLiteral("A"), QStringLiteral("Config"), QStringLiteral("k"), QStringLiteral("1"));
        QCOMPARE(store.read(QStringLiteral("B"), QStringLiteral("Config"), QStringLiteral("k"), QStringLiteral("0")),
                 QStringLiteral("0"));
    }

    void runAndWaitWaitsForTheProgram()
    {
        QTemporaryDir dir;
        const QString marker = dir.filePath(QStringLiteral("done"));
        const QString tool = dir.filePath(QStringLiteral("Tool.exe"));
        QVERIFY(testsupport::writeScript(tool, "sleep 1; printf '%s' \"$1\" > \"$2\"\n"));
        QVERIFY(platform::runAndWait(tool, {QStringLiteral("12;Quillet"), marker}, dir.path()));
        QCOMPARE(testsupport::readFile(marker), QByteArray("12;Quillet"));
    }

    void missingProgramsDoNotStart()
    {
        QVERIFY(!platform::runAndWait(QStringLiteral("/nonexistent/Tool.exe"), {}));
        QVERIFY(!platform::startDetached(QStringLiteral("/nonexistent/Tool.exe"), {}));
    }

    void argumentsNeverGoThroughAShell()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("args"));
        const QString tool = dir.filePath(QStringLiteral("Palvex.exe"));
        QVERIFY(testsupport::writeScript(tool, "printf '%s\\n' \"$@\" > '" + out.toUtf8() + "'\n"));
        const QString tricky = QStringLiteral("a b;$(touch x)`y`\"'.log");
        QVERIFY(platform::startDetached(tool, {tricky, QStringLiteral("wrbe3%KA")}, dir.path()));
        QTRY_COMPARE(testsupport::readFile(out), tricky.toUtf8() + "\nwrbe3%KA\n");
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("x"))));
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
