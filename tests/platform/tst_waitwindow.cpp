// The wait window in front of start-up's transfers: real threads and libcurl, servers on 127.0.0.1 that answer at
// once, never answer, or stall in the middle of a file, and a name server of the test's own that never answers.
#include "HttpTestServer.h"
#include "HttpTransfer.h"
#include "RecordingServices.h"
#include "SystemProxy.h"
#include "WaitWindowQt.h"
#include "modAutoUpdateV1_Download.h"
#include "modAutoUpdateV1_Launcher.h"
#include "modMainShared.h"
#include "modServerAddressUtil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

namespace {

const QString Folder = QStringLiteral("/download/자동업데이트_v1/");

QWidget* waitWindow()
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == u"waitWindow" && window->isVisible())
            return window;
    return nullptr;
}

// Counts the showings of wait windows, however brief.
struct ShowCounter final : QObject
{
    ShowCounter() { qApp->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        shown += event->type() == QEvent::Show && watched->objectName() == u"waitWindow";
        return false;
    }
    int shown = 0;
};

} // namespace

class TestWaitWindow : public QObject
{
    Q_OBJECT

    platform::WaitWindowQt m_waitWindow;

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("no_proxy", "127.0.0.1,localhost");
        // Long enough for the window and a skip; short enough that a test that never skips ends soon.
        support::http::setTimeouts({5, 5});
        // As a build without keys: the transfers, not their signatures, are what is waited for here.
        modAutoUpdateV1_Download::SetPublisherKeys(QString());
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
        QTest::newRow("version check, name lookup never answered")
            << QStringLiteral("lookup") << QStringLiteral("업데이트를 확인하는 중…")
            << QStringList{QStringLiteral("RendloV1.exe의 최신버전 정보를 읽어올 수 없습니다!")};
        QTest::newRow("download, stalled")
            << QStringLiteral("download") << QStringLiteral("RendloV1.exe 파일을 받는 중…") << QStringList();
    }
    void skipEndsTheWaitAsAFailure()
    {
        QFETCH(QString, step);
        QFETCH(QString, text);
        QFETCH(QStringList, messages);
        testsupport::TestServices t;
        t.services.waitWindow = &m_waitWindow;
        QTcpServer silent; // listening is enough: the system completes the handshake, nobody ever answers
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        const QString silentHost = QStringLiteral("127.0.0.1:") + QString::number(silent.serverPort());
        qputenv("ZT_SERVER_LIST_URL", (QStringLiteral("http://") + silentHost).toUtf8());
        modMain::UpdateServerHost = silentHost;
        QUdpSocket nameServer; // bound and never read: every lookup waits for an answer
        if (step == u"lookup") {
            if (qEnvironmentVariableIsEmpty("ZT_OWN_NAME_SERVER"))
                QSKIP("needs a network of its own whose name server is the test's (with-own-name-server.sh)");
            QVERIFY(nameServer.bind(QHostAddress::LocalHost, 53));
            modMain::UpdateServerHost = QStringLiteral("updates.corp.example");
        }
        testsupport::HttpTestServer stalling;
        stalling.routeStalled(Folder + QStringLiteral("RendloV1.exe"), 100000, 10);
        const QString checker = t.services.app.filePath(QStringLiteral("RendloV1.exe"));

        // The transfer holds this thread in its own event loop: the person's part runs from there.
        QElapsedTimer sinceSkip;
        QTimer::singleShot(0, this, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(waitWindow(), 1500);
            QCOMPARE(waitWindow()->windowTitle(), QStringLiteral("NorvaQuillet"));
            QCOMPARE(waitWindow()->findChild<QLabel*>()->text(), text);
            auto* skip = waitWindow()->findChild<QPushButton*>();
            QCOMPARE(skip->text(), QStringLiteral("건너뛰기"));
            sinceSkip.start();
            QTest::mouseClick(skip, Qt::LeftButton);
        });
        if (step == u"list")
            QVERIFY(!modServerAddressUtil::RefreshServerAddressCache(t.services, QString()));
        else if (step == u"check" || step == u"lookup")
            QVERIFY(!modAutoUpdateV1_Launcher::AutoUpdaterSelfUpdate(t.services));
        else
            QVERIFY(!modAutoUpdateV1_Download::DownloadFile(stalling.url(Folder + QStringLiteral("RendloV1.exe")),
                                                            checker, &m_waitWindow));
        QVERIFY2(sinceSkip.isValid(), "the wait window was not skipped");
        QVERIFY2(sinceSkip.elapsed() < 1000, QByteArray::number(sinceSkip.elapsed()) + " ms after the skip");
        QVERIFY(!waitWindow());
        QCOMPARE(t.messageBox.texts(), messages);
        QVERIFY(!QFile::exists(checker));
    }

    void quickAnswersShowNoWindow()
    {
        testsupport::TestServices t;
        t.services.waitWindow = &m_waitWindow;
        testsupport::HttpTestServer server;
        modMain::UpdateServerHost = server.host();
        server.putFile(Folder + QStringLiteral("RendloV1_lastver.txt"), "9");
        server.putFile(Folder + QStringLiteral("RendloV1.exe"), testsupport::recorderProgram());
        server.putFile(Folder + QStringLiteral("Swapnik.exe"), testsupport::recorderProgram());
        const ShowCounter counter;

        QVERIFY(modAutoUpdateV1_Launcher::AutoUpdaterSelfUpdate(t.services));
        QCOMPARE(server.paths().size(), 3);
        QCOMPARE(counter.shown, 0);
    }

    // Automatic proxy detection whose name lookup is not answered outlasts two skips: the later transfers to the
    // same address join that question instead of asking again, and its answer serves them all.
    void skippedProxyQuestionIsAskedOnce()
    {
        if (qEnvironmentVariableIsEmpty("ZT_OWN_NAME_SERVER"))
            QSKIP("needs a network of its own whose name server is the test's (with-own-name-server.sh)");
        testsupport::TestServices t;
        t.services.waitWindow = &m_waitWindow;
        testsupport::HttpTestServer list;
        list.putFile(QStringLiteral("/serverinfo/server-address-checker.php"), "{\"success\":true}");
        qputenv("ZT_SERVER_LIST_URL", list.url().toUtf8());
        const QByteArray noProxy = qgetenv("no_proxy");
        qunsetenv("no_proxy");
        qputenv("http_proxy", "wpad://");
        // A name server that holds every query until it answers them all: no such name.
        QUdpSocket nameServer;
        QVERIFY(nameServer.bind(QHostAddress::LocalHost, 53));
        int questions = 0;
        bool answering = false;
        QList<QNetworkDatagram> held;
        const auto serve = [&] {
            while (nameServer.hasPendingDatagrams()) {
                held.append(nameServer.receiveDatagram());
                // For the address (A) of "wpad", the name automatic proxy detection looks up.
                questions += held.constLast().data().mid(12, 10) == QByteArray("\x04wpad\x00\x00\x01\x00\x01", 10);
            }
            while (answering && !held.isEmpty()) {
                const QNetworkDatagram query = held.takeFirst();
                QByteArray reply = query.data();
                reply[2] = char(reply.at(2) | 0x80);          // an answer
                reply[3] = char((reply.at(3) & 0x70) | 0x83); // no such name
                nameServer.writeDatagram(query.makeReply(reply));
            }
        };
        connect(&nameServer, &QUdpSocket::readyRead, this, serve);

        for (int skip = 0; skip < 2; ++skip) {
            QTimer::singleShot(0, this, [] {
                QTRY_VERIFY_WITH_TIMEOUT(waitWindow(), 1500);
                QTest::mouseClick(waitWindow()->findChild<QPushButton*>(), Qt::LeftButton);
            });
            QVERIFY(!modServerAddressUtil::RefreshServerAddressCache(t.services, QString()));
        }
        QVERIFY(support::http::systemQuestionRunning());
        answering = true;
        serve();
        // Answered now: a transfer still waiting long after is skipped, and fails the test.
        QTimer::singleShot(15000, &nameServer, [] {
            if (waitWindow())
                QTest::mouseClick(waitWindow()->findChild<QPushButton*>(), Qt::LeftButton);
        });
        QVERIFY(modServerAddressUtil::RefreshServerAddressCache(t.services, QString()));
        QVERIFY(!support::http::systemQuestionRunning());
        qputenv("no_proxy", noProxy);
        qunsetenv("http_proxy");
        QCOMPARE(questions, 1);
        QCOMPARE(list.paths().size(), 1);
    }
};

QTEST_MAIN(TestWaitWindow)
#include "tst_waitwindow.moc"
