#include "RecordingServices.h"
#include "modMain.h"
#include "modMainShared.h"

#include <QDir>
#include <QTest>

using testsupport::TestServices;

namespace {

// Main's steps, recording each call in order, answering as the test says.
struct RecordingSteps
{
    QStringList calls;
    QString updateHost;
    QString dbHost;
    bool loginSucceeds = true;

    modMain::StartupSteps bind()
    {
        modMain::StartupSteps steps;
        steps.refreshServerAddressCache = [this](const QString& user) {
            calls.append(QStringLiteral("refresh(") + user + u')');
            return false;
        };
        steps.loadServerAddressCache = [this] { calls.append(QStringLiteral("load")); };
        steps.getServerHost = [this](const QString& name) {
            calls.append(QStringLiteral("host(") + name + u')');
            return name == QStringLiteral("자동업데이트_런처") ? updateHost : dbHost;
        };
        steps.runAutoUpdate = [this](bool skip) {
            calls.append(skip ? QStringLiteral("update(true)") : QStringLiteral("update(false)"));
            return false;
        };
        steps.runLoginDialog = [this] {
            calls.append(QStringLiteral("login"));
            return loginSucceeds;
        };
        steps.showMainWindow = [this] { calls.append(QStringLiteral("main")); };
        return steps;
    }
};

// Stands for a connection or recordset with a State and a Close.
struct Closable
{
    int state = 0;
    int* closes = nullptr;
    int State() const { return state; }
    void Close() { ++*closes; }
};

} // namespace

class TestModMain final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { qunsetenv("ZT_DEFAULT_SERVER"); }

    void runsTheStepsInOrder()
    {
        TestServices t;
        RecordingSteps steps;
        modMain::Main(t.services, steps.bind());
        const QStringList expected{
            QStringLiteral("refresh()"),
            QStringLiteral("load"),
            QStringLiteral("host(자동업데이트_런처)"),
            QStringLiteral("host(사내메신저DB서버)"),
            QStringLiteral("update(false)"),
            QStringLiteral("login"),
            QStringLiteral("main"),
        };
        QCOMPARE(steps.calls, expected);
        QVERIFY(!t.exit.exited);
    }

    void unwritableFolderIsSaidOnceAndStartUpGoesOn()
    {
        TestServices t;
        t.services.app.dir = QStringLiteral("/opt/Norva Tools");
        const QString tool = t.services.app.filePath(QStringLiteral("RendloV1.exe"));
        t.services.app.writeBlock = platform::makeVbError(platform::vberr::PermissionDenied, tool);
        t.services.app.trialFileLeft = t.services.app.filePath(QStringLiteral(".norvaquillet-write-test-0123abcd"));
        RecordingSteps steps;
        modMain::Main(t.services, steps.bind());
        QCOMPARE(t.messageBox.messages.size(), 1);
        const QString text = t.messageBox.texts().constFirst();
        for (const QString& part : {QDir::toNativeSeparators(t.services.app.dir), QStringLiteral("(Permission denied)"),
                                    QStringLiteral("바꿀 수 없는 파일: ") + QDir::toNativeSeparators(tool),
                                    QStringLiteral("서버 목록"), QStringLiteral("업데이트는 설치되지 않습니다"),
                                    QStringLiteral("파일을 지우지 못했습니다. 지워도 되는 파일입니다:\r\n") +
                                        QDir::toNativeSeparators(t.services.app.trialFileLeft)})
            QVERIFY2(text.contains(part), qPrintable(part));
        QCOMPARE(steps.calls.size(), 7);
        QCOMPARE(steps.calls.constLast(), QStringLiteral("main"));
    }

    void failedLoginEndsWithoutMainWindow()
    {
        TestServices t;
        RecordingSteps steps;
        steps.loginSucceeds = false;
        modMain::Main(t.services, steps.bind());
        QVERIFY(t.exit.exited);
        QVERIFY(!steps.calls.contains(QStringLiteral("main")));
        QVERIFY(t.messageBox.messages.isEmpty());
    }

    void hostsReplaceDefaultsOnlyWhenGiven_data()
    {
        QTest::addColumn<QString>("listUpdateHost");
        QTest::addColumn<QString>("listDbHost");
        QTest::addColumn<QString>("expectedUpdateHost");
        QTest::addColumn<QString>("expectedDbHost");
        const QString def = QStringLiteral("10.9.8.7");
        QTest::newRow("no list") << QString() << QString() << def << def;
        QTest::newRow("update entry only")
            << QStringLiteral("upd.example") << QString() << QStringLiteral("upd.example") << def;
        QTest::newRow("db entry only") << QString() << QStringLiteral("db.example:3307") << def
                                       << QStringLiteral("db.example:3307");
        QTest::newRow("both") << QStringLiteral("a") << QStringLiteral("b") << QStringLiteral("a")
                              << QStringLiteral("b");
    }
    void hostsReplaceDefaultsOnlyWhenGiven()
    {
        QFETCH(QString, listUpdateHost);
        QFETCH(QString, listDbHost);
        QFETCH(QString, expectedUpdateHost);
        QFETCH(QString, expectedDbHost);
        qputenv("ZT_DEFAULT_SERVER", "10.9.8.7");
        TestServices t;
        RecordingSteps steps;
        steps.updateHost = listUpdateHost;
        steps.dbHost = listDbHost;
        modMain::Main(t.services, steps.bind());
        QCOMPARE(modMain::UpdateServerHost, expectedUpdateHost);
        QCOMPARE(modMain::DbServerHost, expectedDbHost);
    }

    void closeIfOpen_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("expectedCloses");
        QTest::newRow("empty reference") << false << 0 << 0;
        QTest::newRow("closed object") << true << 0 << 0;
        QTest::newRow("open object") << true << 1 << 1;
    }
    void closeIfOpen()
    {
        QFETCH(bool, present);
        QFETCH(int, state);
        QFETCH(int, expectedCloses);
        int closes = 0;
        std::shared_ptr<Closable> obj;
        if (present)
            obj = std::make_shared<Closable>(Closable{state, &closes});
        modMain::CloseIfOpen(obj);
        QCOMPARE(closes, expectedCloses);
        QVERIFY(!obj);
    }
};

QTEST_GUILESS_MAIN(TestModMain)
#include "tst_modmain.moc"
