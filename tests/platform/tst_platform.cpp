#include "FolderAccess.h"
#include "Processes.h"
#include "RecordingServices.h"
#include "SettingsStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include "OrdinaryUser.h"
#endif

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
#ifdef Q_OS_UNIX
        QCOMPARE(QFile::permissions(file) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#endif
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
        const QString tool = dir.filePath(QStringLiteral("Tool.exe"));
        QVERIFY(testsupport::installRecorder(tool, "sleep 1000\n"));
        QVERIFY(platform::runAndWait(tool, {QStringLiteral("12;Quillet")}, dir.path()));
        QCOMPARE(testsupport::recordedRuns(tool), QList<QByteArray>{"1\n12;Quillet\n"});
    }

    void missingProgramsDoNotStart()
    {
        QVERIFY(!platform::runAndWait(QStringLiteral("/nonexistent/Tool.exe"), {}));
        QVERIFY(!platform::startDetached(QStringLiteral("/nonexistent/Tool.exe"), {}));
    }

    void argumentsNeverGoThroughAShell()
    {
        QTemporaryDir dir;
        const QString tool = dir.filePath(QStringLiteral("도구 폴더/Palvex.exe"));
        QVERIFY(testsupport::installRecorder(tool));
        const QString tricky = QStringLiteral("a b;$(touch x)`y`\"'\\\"%PATH%한글.log");
        QVERIFY(platform::startDetached(tool, {tricky, QStringLiteral("wrbe3%KA")}, dir.path()));
        QTRY_COMPARE(testsupport::recordedRuns(tool), QList<QByteArray>{"2\n" + tricky.toUtf8() + "\nwrbe3%KA\n"});
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("x"))));
    }

    void judgeFolderTrial_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("access");
        namespace vberr = platform::vberr;
        using platform::FolderAccess;
        QTest::newRow("file made") << 0 << int(FolderAccess::Writable);
        QTest::newRow("refused: rights, read-only medium") << vberr::PermissionDenied << int(FolderAccess::NotWritable);
        QTest::newRow("disk full") << vberr::DiskFull << int(FolderAccess::NotWritable);
        QTest::newRow("folder gone") << vberr::PathNotFound << int(FolderAccess::NotWritable);
        QTest::newRow("device failing") << vberr::DeviceIoError << int(FolderAccess::NotWritable);
        QTest::newRow("unclassified") << vberr::PathFileAccessError << int(FolderAccess::Unknown);
    }
    void judgeFolderTrial()
    {
        QFETCH(int, error);
        QFETCH(int, access);
        const platform::VbError trial = error ? platform::makeVbError(error) : platform::VbError();
        QCOMPARE(int(platform::judgeFolderTrial(trial)), access);
    }

    void folderTrialAsAnOrdinaryUser_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::addColumn<int>("error");
        QTest::newRow("writable") << true << 0;
        QTest::newRow("read-only") << false << platform::vberr::PermissionDenied;
    }
    void folderTrialAsAnOrdinaryUser()
    {
#ifdef Q_OS_UNIX
        QFETCH(bool, writable);
        QFETCH(int, error);
        QTemporaryDir root;
        const QString folder = root.filePath(QStringLiteral("program"));
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(testsupport::setOpenTo(root.path(), false) && testsupport::setOpenTo(folder, writable));
        {
            const testsupport::AsOrdinaryUser user;
            QVERIFY(user.ok());
            QCOMPARE(platform::tryWriteInFolder(folder).number(), error);
        }
        QVERIFY(testsupport::setOpenTo(root.path(), true));
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
#else
        QSKIP("an ordinary user's refusal is tried on Linux; a Wine prefix of root's passes every permission");
#endif
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
