// The main window's check that the external decoder is present and current, against a real update server.
#include "HttpTestServer.h"
#include "PeFixture.h"
#include "RecordingServices.h"
#include "modAutoUpdateV1_Download.h"
#include "modFileVersionCheck.h"
#include "modMainShared.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

using testsupport::readFile;
using testsupport::writeFile;

namespace {
const QString Folder = QStringLiteral("/download/자동업데이트_v1/");
const QByteArray NewDecoder = testsupport::makePeImage();
const QString ReadFailed = QStringLiteral("Palvex.exe의 최신버전 정보를 읽어올 수 없습니다!");

QByteArray peWithRevision(const QString& revision)
{
    testsupport::PeFixture fixture;
    fixture.fileVersion = QStringLiteral("2.0.0.") + revision;
    return testsupport::makePeImage(fixture);
}
} // namespace

class TestFileVersionCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qputenv("no_proxy", "127.0.0.1,localhost"); }
    // As a build without keys, whatever keys this one was built with.
    void init() { modAutoUpdateV1_Download::SetPublisherKeys(QString()); }

    void downloadsWhenMissingOrOlder_data()
    {
        QTest::addColumn<QByteArray>("local"); // empty: no local file
        QTest::addColumn<QByteArray>("serverText");
        QTest::addColumn<bool>("downloads");

        QTest::newRow("missing") << QByteArray() << QByteArray("7") << true;
        QTest::newRow("equal") << peWithRevision(QStringLiteral("7")) << QByteArray("7") << false;
        QTest::newRow("newer than the server") << peWithRevision(QStringLiteral("8")) << QByteArray("7") << false;
        QTest::newRow("older") << peWithRevision(QStringLiteral("6")) << QByteArray("7") << true;
        QTest::newRow("13.5 is 14") << peWithRevision(QStringLiteral("13")) << QByteArray("13.5") << true;
        QTest::newRow("12.5 is 12") << peWithRevision(QStringLiteral("12")) << QByteArray("12.5") << false;
        QTest::newRow("no version in the local file") << QByteArray("#!/bin/sh\n") << QByteArray("3") << true;
    }
    void downloadsWhenMissingOrOlder()
    {
        QFETCH(QByteArray, local);
        QFETCH(QByteArray, serverText);
        QFETCH(bool, downloads);
        testsupport::TestServices t;
        testsupport::HttpTestServer server;
        modMain::UpdateServerHost = server.host();
        server.putFile(Folder + QStringLiteral("Palvex_lastver.txt"), serverText);
        server.putFile(Folder + QStringLiteral("Palvex.exe"), NewDecoder);
        const QString path = t.services.app.filePath(QStringLiteral("Palvex.exe"));
        if (!local.isEmpty())
            QVERIFY(writeFile(path, local));

        modFileVersionCheck::CheckFileVersion(t.services, QStringLiteral("Palvex.exe"), t.services.app.dir, QString(),
                                              {QStringLiteral("Palvex.exe")});

        QVERIFY(t.messageBox.messages.isEmpty());
        QStringList expected{Folder + QStringLiteral("Palvex_lastver.txt")};
        if (downloads)
            expected << Folder + QStringLiteral("Palvex.exe");
        QCOMPARE(server.paths(), expected);
        QCOMPARE(readFile(path), downloads ? NewDecoder : local);
        if (downloads)
            QVERIFY(QFileInfo(path).isExecutable());
    }

    void everyListedFileAndSubPath()
    {
        testsupport::TestServices t;
        testsupport::HttpTestServer server;
        modMain::UpdateServerHost = server.host();
        const QString sub = Folder + QStringLiteral("des/");
        server.putFile(sub + QStringLiteral("Palvex_lastver.txt"), "2");
        server.putFile(sub + QStringLiteral("Palvex.exe"), NewDecoder);
        server.putFile(sub + QStringLiteral("Palvex.dll"), "library");

        modFileVersionCheck::CheckFileVersion(t.services, QStringLiteral("Palvex.exe"), t.services.app.dir,
                                              QStringLiteral("des"),
                                              {QStringLiteral("Palvex.exe"), QStringLiteral("Palvex.dll")});
        QVERIFY(t.messageBox.messages.isEmpty());
        QCOMPARE(readFile(t.services.app.filePath(QStringLiteral("Palvex.dll"))), QByteArray("library"));
        QCOMPARE(readFile(t.services.app.filePath(QStringLiteral("Palvex.exe"))), NewDecoder);
        // Each transfer waits behind the wait window, which says what it waits for.
        QCOMPARE(t.waitWindow.texts,
                 (QStringList{QStringLiteral("업데이트를 확인하는 중…"), QStringLiteral("Palvex.exe 파일을 받는 중…"),
                              QStringLiteral("Palvex.dll 파일을 받는 중…")}));
    }

    void unreadableVersionIsShown_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("no version file") << QStringLiteral("missing");
        QTest::newRow("blanks only") << QStringLiteral("blanks");
        QTest::newRow("server unreachable") << QStringLiteral("unreachable");
    }
    void unreadableVersionIsShown()
    {
        QFETCH(QString, kind);
        testsupport::TestServices t;
        testsupport::HttpTestServer server;
        modMain::UpdateServerHost =
            kind == u"unreachable" ? QStringLiteral("127.0.0.1:%1").arg(testsupport::closedPort()) : server.host();
        if (kind == u"blanks")
            server.putFile(Folder + QStringLiteral("Palvex_lastver.txt"), "  \r\n");
        server.putFile(Folder + QStringLiteral("Palvex.exe"), NewDecoder);

        modFileVersionCheck::CheckFileVersion(t.services, QStringLiteral("Palvex.exe"), t.services.app.dir, QString(),
                                              {QStringLiteral("Palvex.exe")});
        QCOMPARE(t.messageBox.texts(), QStringList{ReadFailed});
        QVERIFY(!QFile::exists(t.services.app.filePath(QStringLiteral("Palvex.exe"))));
    }

    // Cut off, or not verified by the publisher's key (tst_minisign's a), as the message says: the old file stays.
    void failedDownloadNamesThePathAndKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("signature"); // beside the download; "-": the download is cut off
        QTest::addColumn<QString>("cause");
        const QString refused =
            QStringLiteral("\r\n\r\nPalvex.exe의 서명이 확인되지 않아 받은 파일을 버렸습니다.\r\n(");
        QTest::newRow("cut off") << QStringLiteral("-") << QString();
        QTest::newRow("signed by another key")
            << QStringLiteral("payload.b.minisig") << refused + QStringLiteral("등록되지 않은 키로 서명되었습니다)");
        QTest::newRow("no signature") << QString() << refused + QStringLiteral("서명 파일을 받을 수 없습니다)");
    }
    void failedDownloadNamesThePathAndKeepsTheOldFile()
    {
        QFETCH(QString, signature);
        QFETCH(QString, cause);
        testsupport::TestServices t;
        testsupport::HttpTestServer server;
        modMain::UpdateServerHost = server.host();
        server.putFile(Folder + QStringLiteral("Palvex_lastver.txt"), "9");
        if (signature == u"-") {
            server.routeDropped(Folder + QStringLiteral("Palvex.exe"), 4096, 100);
        } else {
            modAutoUpdateV1_Download::SetPublisherKeys(
                QString::fromLatin1(readFile(QStringLiteral(ZT_MINISIGN_FIXTURES "/a.pub")).split('\n').value(1)));
            server.putFile(Folder + QStringLiteral("Palvex.exe"), NewDecoder);
            if (!signature.isEmpty())
                server.putFile(Folder + QStringLiteral("Palvex.exe.minisig"),
                               readFile(QStringLiteral(ZT_MINISIGN_FIXTURES "/") + signature));
        }
        const QString path = t.services.app.filePath(QStringLiteral("Palvex.exe"));
        const QByteArray old = peWithRevision(QStringLiteral("3"));
        QVERIFY(writeFile(path, old));

        modFileVersionCheck::CheckFileVersion(t.services, QStringLiteral("Palvex.exe"), t.services.app.dir, QString(),
                                              {QStringLiteral("Palvex.exe")});
        QCOMPARE(t.messageBox.texts(), QStringList{QStringLiteral("파일 다운로드중 오류가 발생했습니다.경로: ") +
                                                   QDir::toNativeSeparators(path) + cause});
        QCOMPARE(readFile(path), old);
        QCOMPARE(QDir(t.services.app.dir).entryList(QDir::Files), QStringList{QStringLiteral("Palvex.exe")});
    }
};

QTEST_GUILESS_MAIN(TestFileVersionCheck)
#include "tst_fileversioncheck.moc"
