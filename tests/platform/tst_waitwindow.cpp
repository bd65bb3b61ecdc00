// The wait window over start-up's transfers: real threads, real libcurl, servers on 127.0.0.1 that answer at
// once, never answer, or stall in the middle of a file.
#include "HttpTestServer.h"
#include "HttpTransfer.h"
#include "RecordingServices.h"
#include "WaitWindowQt.h"
#include "modAutoUpdateV1_Download.h"
#include "modAutoUpdateV1_Launcher.h"
#include "modMainShared.h"
#include "modServerAddressUtil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

const QString Folder = QStringLiteral("/download/자동업데이트_v1/");

QWidget* visibleWaitWindow()
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == u"waitWindow" && window->isVisible())
            return window;
    return nullptr;
}

// Counts every showing of a wait window, however brief.
class ShowCounter final : public QObject
{
public:
    ShowCounter() { qApp->installEventFilter(this); }
    ~ShowCounter() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->objectName() == u"waitWindow")
            ++shown;
        return false;
    }
    int shown = 0;
};

} // namespace

class TestWaitWindow : public QObject
{
    Q_OBJECT

    struct Setup
    {
        platform::WaitWindowQt waitWindow;
        testsupport::TestServices t;
        testsupport::HttpTestServer server;
        QTcpServer silent; // listening is enough: the system completes the handshake, nobody ever answers
        Setup()
        {
            t.services.waitWindow = &waitWindow;
            silent.listen(QHostAddress::LocalHost, 0);
        }
        QString silentHost() const { return QStringLiteral("127.0.0.1:") + QString::number(silent.serverPort()); }
    };

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("no_proxy", "127.0.0.1,localhost");
        // Long enough for the window and a skip; short enough that a test that never skips ends soon.
        support::http::setTimeouts({5, 5});
    }

    void skipEndsTheWaitAsAFailure_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("messages");

        QTest::newRow("server list, silent")
            << QStringLiteral("list") << QStringLiteral("서버 목록을 받는 중…") << QStringList();
        QTest::newRow("version check, silent")
            << QStringLiteral("check") << QStringLiteral("업데이트를 확인하는 중…")
            << QStringList{QStringLiteral("RendloV1.exe의 최신버전 정보를 읽어올 수 없습니다!")};
        QTest::newRow("download, stalled")
            << QStringLiteral("download") << QStringLiteral("RendloV1.exe 파일을 받는 중…") << QStringList();
    }
    void skipEndsTheWaitAsAFailure()
    {
        QFETCH(QString, step);
        QFETCH(QString, text);
        QFETCH(QStringList, messages);
        Setup s;
        QVERIFY(s.silent.isListening());
        qputenv("ZT_SERVER_LIST_URL", (QStringLiteral("http://") + s.silentHost()).toUtf8());
        modMain::UpdateServerHost = s.silentHost();
        s.server.routeStalled(Folder + QStringLiteral("RendloV1.exe"), 100000, 10);
        const QString checker = s.t.services.app.filePath(QStringLiteral("RendloV1.exe"));
        const std::function<bool()> run = [&] {
            if (step == u"list")
                return modServerAddressUtil::RefreshServerAddressCache(s.t.services, QString());
            if (step == u"check")
                return modAutoUpdateV1_Launcher::AutoUpdaterSelfUpdate(s.t.services);
            return modAutoUpdateV1_Download::DownloadFile(s.server.url(Folder + QStringLiteral("RendloV1.exe")),
                                                          checker, s.t.services.waitWindow);
        };

        // The step's transfer holds this thread in its own event loop: the person's part runs from there.
        QElapsedTimer sinceSkip;
        QTimer::singleShot(0, this, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(visibleWaitWindow(), 1500);
            QWidget* window = visibleWaitWindow();
            QCOMPARE(window->windowTitle(), QStringLiteral("NorvaQuillet"));
            QCOMPARE(window->findChild<QLabel*>(QStringLiteral("lblWaitText"))->text(), text);
            auto* skip = window->findChild<QPushButton*>(QStringLiteral("cmdSkip"));
            QCOMPARE(skip->text(), QStringLiteral("건너뛰기"));
            sinceSkip.start();
            QTest::mouseClick(skip, Qt::LeftButton);
        });
        QVERIFY(!run());
        QVERIFY2(sinceSkip.isValid(), "the wait window was not skipped");
        QVERIFY2(sinceSkip.elapsed() < 1000, QByteArray::number(sinceSkip.elapsed()) + " ms after the skip");
        QVERIFY(!visibleWaitWindow());
        QCOMPARE(s.t.messageBox.texts(), messages);
        QVERIFY(!QFile::exists(checker));
    }

    void quickAnswersShowNoWindow()
    {
        Setup s;
        ShowCounter counter;
        qputenv("ZT_SERVER_LIST_URL", s.server.url().toUtf8());
        s.server.putFile(QStringLiteral("/serverinfo/server-address-checker.php"),
                         R"({"success": true, "data": {"ver": 1, "servers": []}})");
        modMain::UpdateServerHost = s.server.host();
        s.server.putFile(Folder + QStringLiteral("RendloV1_lastver.txt"), "9");
        s.server.putFile(Folder + QStringLiteral("RendloV1.exe"), testsupport::recorderProgram());
        s.server.putFile(Folder + QStringLiteral("Swapnik.exe"), testsupport::recorderProgram());

        QVERIFY(modServerAddressUtil::RefreshServerAddressCache(s.t.services, QString()));
        QVERIFY(modAutoUpdateV1_Launcher::AutoUpdaterSelfUpdate(s.t.services));
        QCOMPARE(s.server.paths().size(), 4);
        QCOMPARE(counter.shown, 0);
    }
};

QTEST_MAIN(TestWaitWindow)
#include "tst_waitwindow.moc"
