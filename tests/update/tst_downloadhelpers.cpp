// The HTTP helpers of the update code against a real server on 127.0.0.1.
#include "AppInfo.h"
#include "HttpTestServer.h"
#include "HttpTransfer.h"
#include "MinisignSigner.h"
#include "PeFixture.h"
#include "RecordingServices.h"
#include "modAutoUpdateV1_Download.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace modAutoUpdateV1_Download;
using testsupport::readFile;
using testsupport::writeFile;

class TestDownloadHelpers : public QObject
{
    Q_OBJECT

private:
    static QStringList entries(const QString& dir)
    {
        return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

private Q_SLOTS:
    void initTestCase()
    {
        // A developer's proxy must not stand between the tests and 127.0.0.1.
        qputenv("no_proxy", "127.0.0.1,localhost");
    }
    // As a build without keys, whatever keys this one was built with.
    void init() { SetPublisherKeys(QString()); }
    void cleanup() { support::http::setTimeouts({}); }

    void openUrlReadsAtMostTwentyBytes_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected");

        QTest::newRow("number") << QByteArray("7") << QStringLiteral("7");
        QTest::newRow("with blanks") << QByteArray(" 12 \r\n") << QStringLiteral(" 12 \r\n");
        QTest::newRow("exactly 20") << QByteArray("12345678901234567890") << QStringLiteral("12345678901234567890");
        QTest::newRow("25 bytes") << QByteArray("1234567890123456789012345") << QStringLiteral("12345678901234567890");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("high bytes one char each") << QByteArray("\xb9\xf6 3") << QStringLiteral("\u00b9\u00f6 3");
    }
    void openUrlReadsAtMostTwentyBytes()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        testsupport::HttpTestServer server;
        server.putFile(QStringLiteral("/v.txt"), body);
        QCOMPARE(OpenUrl(server.url(QStringLiteral("/v.txt"))), expected);
        QCOMPARE(server.userAgents(), QStringList{QStringLiteral("VB OpenUrl")});
    }

    // A body that arrives in small pieces is read until 20 bytes are held, not only the first piece.
    void openUrlReadsPiecesUntilTwentyBytes()
    {
        testsupport::HttpTestServer server;
        server.route(QStringLiteral("/pieces.txt"), [](const httplib::Request&, httplib::Response& response) {
            auto sent = std::make_shared<int>(0);
            response.set_chunked_content_provider("text/plain", [sent](std::size_t, httplib::DataSink& sink) {
                if (*sent == 10) {
                    sink.done();
                    return true;
                }
                const std::string piece = std::to_string(*sent) + "ab";
                sink.write(piece.data(), piece.size());
                ++*sent;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                return true;
            });
        });
        QCOMPARE(OpenUrl(server.url(QStringLiteral("/pieces.txt"))), QStringLiteral("0ab1ab2ab3ab4ab5ab6a"));
    }

    void failuresGiveEmptyTextAndFalse_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing file (404)") << QStringLiteral("missing");
        QTest::newRow("server error page") << QStringLiteral("500");
        QTest::newRow("nothing listens") << QStringLiteral("closed");
        QTest::newRow("connection dropped mid-body") << QStringLiteral("dropped");
        QTest::newRow("stalled body") << QStringLiteral("stalled");
        QTest::newRow("too many redirects") << QStringLiteral("redirects");
        QTest::newRow("redirect to a local file") << QStringLiteral("file");
        QTest::newRow("not http") << QStringLiteral("ftp");
    }
    void failuresGiveEmptyTextAndFalse()
    {
        QFETCH(QString, kind);
        testsupport::HttpTestServer server;
        support::http::setTimeouts({15, 1});
        QString url = server.url(QStringLiteral("/file.exe"));
        if (kind == u"500") {
            server.route(QStringLiteral("/file.exe"), [](const httplib::Request&, httplib::Response& response) {
                response.status = 500;
                response.set_content("12345678901234567890 error page", "text/html");
            });
        } else if (kind == u"closed") {
            url = QStringLiteral("http://127.0.0.1:%1/file.exe").arg(testsupport::closedPort());
        } else if (kind == u"dropped") {
            server.routeDropped(QStringLiteral("/file.exe"), 1000, 10);
        } else if (kind == u"stalled") {
            server.routeStalled(QStringLiteral("/file.exe"), 100, 1);
        } else if (kind == u"redirects") {
            for (int i = 0; i < 4; ++i)
                server.routeRedirect(i == 0 ? QStringLiteral("/file.exe") : QStringLiteral("/hop%1").arg(i),
                                     server.url(QStringLiteral("/hop%1").arg(i + 1)));
            server.putFile(QStringLiteral("/hop4"), "12345678901234567890");
        } else if (kind == u"file") {
            server.routeRedirect(QStringLiteral("/file.exe"), QStringLiteral("file:///etc/hostname"));
        } else if (kind == u"ftp") {
            url = QStringLiteral("ftp://127.0.0.1/file.exe");
        }

        QCOMPARE(OpenUrl(url), QString());

        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("file.exe"));
        QVERIFY(writeFile(target, "old build"));
        QVERIFY(!DownloadFile(url, target));
        QCOMPARE(readFile(target), QByteArray("old build"));
        QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("file.exe")});
    }

    // The second redirect points relative to itself, and its page never ends: that page is not waited for (here
    // it breaks off after two seconds).
    void followsUpToThreeRedirects()
    {
        testsupport::HttpTestServer server;
        server.routeRedirect(QStringLiteral("/v.txt"), server.url(QStringLiteral("/hop1")));
        server.routeRedirect(QStringLiteral("/hop2"), server.url(QStringLiteral("/hop3")));
        server.route(QStringLiteral("/hop1"), [](const httplib::Request&, httplib::Response& response) {
            response.status = 301;
            response.set_header("Location", "hop2");
            response.set_chunked_content_provider("text/html", [](std::size_t offset, httplib::DataSink& sink) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                return offset < 100 * 6 && sink.write("moved ", 6);
            });
        });
        server.putFile(QStringLiteral("/hop3"), "42");
        QCOMPARE(OpenUrl(server.url(QStringLiteral("/v.txt"))), QStringLiteral("42"));
    }

    void nonAsciiPathsAreSentAsUtf8()
    {
        testsupport::HttpTestServer server;
        const QString path = QStringLiteral("/download/자동업데이트_v1/RendloV1_lastver.txt");
        server.putFile(path, "3");
        QCOMPARE(OpenUrl(server.url(path)), QStringLiteral("3"));
        QCOMPARE(server.targets(),
                 QStringList{QStringLiteral("/download/%EC%9E%90%EB%8F%99%EC%97%85%EB%8D%B0%EC%9D%B4%ED%8A%B8_v1/"
                                            "RendloV1_lastver.txt")});
    }

    // What may replace a file: a sibling tool (".exe") only by a whole program, anything only by a non-empty body.
    void downloadFileReplacesOnlyWithWholeFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("closeDelimited"); // no length announced: the connection's end ends the body
        QTest::addColumn<bool>("saved");
        QTest::addColumn<bool>("runnable");

        const QByteArray pe = testsupport::makePeImage();
        // This test program: an ELF file on Linux, a PE file on Windows.
        const QByteArray own = readFile(QCoreApplication::applicationFilePath());
        // Scripts are programs only where the system runs them.
        const bool scripts = platform::AcceptsElfProgramsAndScripts;
        QTest::newRow("script") << QStringLiteral("f.exe") << QByteArray("#!/bin/sh\necho new\n") << false << scripts
                                << scripts;
        QTest::newRow("whole windows program") << QStringLiteral("f.exe") << pe << false << true << true;
        QTest::newRow("this test program, no length") << QStringLiteral("f.exe") << own << true << true << true;
        QTest::newRow("text, not a program")
            << QStringLiteral("f.txt") << QByteArray("just text") << false << true << false;
        QTest::newRow("large data") << QStringLiteral("f.dat") << QByteArray(3 * 1024 * 1024 + 7, 'z') << false << true
                                    << false;
        QTest::newRow("empty answer") << QStringLiteral("f.txt") << QByteArray() << false << false << false;
        QTest::newRow("empty program") << QStringLiteral("f.exe") << QByteArray() << false << false << false;
        QTest::newRow("error page served with 200")
            << QStringLiteral("f.exe") << QByteArray("<html><body>Service unavailable</body></html>") << false << false
            << false;
        QTest::newRow("windows program one byte short")
            << QStringLiteral("f.exe") << pe.chopped(1) << false << false << false;
        QTest::newRow("this test program cut, no length")
            << QStringLiteral("f.exe") << own.left(own.size() / 2) << true << false << false;
        QTest::newRow("windows program headers only")
            << QStringLiteral("F.EXE") << pe.left(512) << true << false << false;
        testsupport::PeFixture signing;
        signing.certificateSize = 4096;
        const QByteArray signedPe = testsupport::makePeImage(signing);
        QTest::newRow("signed windows program") << QStringLiteral("f.exe") << signedPe << false << true << true;
        QTest::newRow("signed windows program cut inside its certificate")
            << QStringLiteral("f.exe") << signedPe.chopped(1000) << true << false << false;
        QTest::newRow("signed windows program one byte short of its certificate's end")
            << QStringLiteral("f.exe") << signedPe.chopped(1) << true << false << false;
    }
    void downloadFileReplacesOnlyWithWholeFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, body);
        QFETCH(bool, closeDelimited);
        QFETCH(bool, saved);
        QFETCH(bool, runnable);
#ifdef Q_OS_WIN
        runnable = name.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive); // Windows goes by the name
#endif
        testsupport::HttpTestServer server;
        if (closeDelimited)
            server.routeCloseDelimited(u'/' + name, body);
        else
            server.putFile(u'/' + name, body);
        QTemporaryDir dir;
        const QString target = dir.filePath(name);
        const QByteArray old("old build, longer than some of the new ones");
        QVERIFY(writeFile(target, old));

        QCOMPARE(DownloadFile(server.url(u'/' + name), target), saved);
        QCOMPARE(readFile(target), saved ? body : old);
        QCOMPARE(QFileInfo(target).isExecutable(), runnable);
        QCOMPARE(entries(dir.path()), QStringList{name});
    }

    void downloadFileIntoMissingFolderFails()
    {
        testsupport::HttpTestServer server;
        server.putFile(QStringLiteral("/f.exe"), "x");
        QTemporaryDir dir;
        QVERIFY(!DownloadFile(server.url(QStringLiteral("/f.exe")), dir.filePath(QStringLiteral("no/such/f.exe"))));
        QVERIFY(server.paths().isEmpty());
    }

    void downloadFilesStopsAtEmptyOrFailed_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("requested");
        QTest::addColumn<QStringList>("saved");
        QTest::addColumn<int>("failedIndex");

        QTest::newRow("first entry empty")
            << QStringList{QString(), QStringLiteral("a.exe")} << true << QStringList() << QStringList() << -1;
        QTest::newRow("empty list") << QStringList() << true << QStringList() << QStringList() << -1;
        QTest::newRow("all saved") << QStringList{QStringLiteral("a.exe"), QStringLiteral("c.exe")} << true
                                   << QStringList{QStringLiteral("/dl/a.exe"), QStringLiteral("/dl/c.exe")}
                                   << QStringList{QStringLiteral("a.exe"), QStringLiteral("c.exe")} << -1;
        QTest::newRow("empty entry ends the list")
            << QStringList{QStringLiteral("a.exe"), QString(), QStringLiteral("c.exe")} << true
            << QStringList{QStringLiteral("/dl/a.exe")} << QStringList{QStringLiteral("a.exe")} << -1;
        QTest::newRow("second fails") << QStringList{QStringLiteral("a.exe"), QStringLiteral("missing.exe"),
                                                     QStringLiteral("c.exe")}
                                      << false
                                      << QStringList{QStringLiteral("/dl/a.exe"), QStringLiteral("/dl/missing.exe")}
                                      << QStringList{QStringLiteral("a.exe")} << 1;
    }
    void downloadFilesStopsAtEmptyOrFailed()
    {
        QFETCH(QStringList, names);
        QFETCH(bool, result);
        QFETCH(QStringList, requested);
        QFETCH(QStringList, saved);
        QFETCH(int, failedIndex);
        testsupport::HttpTestServer server;
        server.putFile(QStringLiteral("/dl/a.exe"), testsupport::makePeImage());
        server.putFile(QStringLiteral("/dl/c.exe"), testsupport::makePeImage());
        QTemporaryDir dir;

        FailedFile failed;
        QCOMPARE(DownloadFiles(server.url(QStringLiteral("/dl")), dir.path(), names, &failed), result);
        QCOMPARE(server.paths(), requested);
        QCOMPARE(entries(dir.path()), saved);
        QCOMPARE(int(failed.index), failedIndex);
    }

    // In a build with keys a program is kept only when signed for its own name and newer than the copy it replaces,
    // when that copy's own signature vouches for it; its signature is kept beside it. Any download stops at 256 MiB.
    void signedProgramsKeptForTheirNameAndNewer_data()
    {
        QTest::addColumn<QString>("installed"); // the copy's revision ("?": without its signature), or a link
        QTest::addColumn<int>("offered");       // the revision served; 0: more than 256 MiB announced
        QTest::addColumn<QByteArray>("signedAs");
        QTest::addColumn<bool>("replacer");   // the file replacer's rule: the same version will do
        QTest::addColumn<QString>("refusal"); // the message; empty: kept
        const auto row = [](const char* name, const char* installed, int offered, const char* signedAs, bool replacer,
                            const QString& refusal = {}) {
            QTest::newRow(name) << QString::fromLatin1(installed) << offered << QByteArray(signedAs) << replacer
                                << refusal;
        };
        const auto versions = [](int offered) {
            return QStringLiteral("f.exe의 받은 버전이 설치된 버전보다 새롭지 않아 받은 파일을 버렸습니다.\r\n"
                                  "(받은 버전: 1.0.0.%1, 설치된 버전: 1.0.0.5)")
                .arg(offered);
        };
        row("newer", "5", 6, "f.exe", false);
        row("nothing installed: any version", "", 1, "f.exe", false);
        row("the copy there not vouched for", "9?", 2, "f.exe", false);
        row("signed for another file", "5", 6, "Swapnik.exe", false,
            QStringLiteral(
                "f.exe의 서명이 확인되지 않아 받은 파일을 버렸습니다.\r\n(다른 파일(Swapnik.exe)의 서명입니다)"));
        row("older", "5", 4, "f.exe", false, versions(4));
        row("the same", "5", 5, "f.exe", false, versions(5));
        row("the same, as the replacer", "5", 5, "f.exe", true);
        row("older, as the replacer", "5", 4, "f.exe", true, versions(4));
        row("larger than 256 MiB", "5", 0, "f.exe", false,
            QStringLiteral("f.exe의 크기가 256 MiB를 넘어 받지 않았습니다."));
#ifndef Q_OS_WIN
        row("a link to a file elsewhere at the name", "link", 1, "f.exe", false);
        row("a link to a folder at the name", "folder link", 1, "f.exe", false);
#endif
    }
    void signedProgramsKeptForTheirNameAndNewer()
    {
        QFETCH(QString, installed);
        QFETCH(int, offered);
        QFETCH(QByteArray, signedAs);
        QFETCH(bool, replacer);
        QFETCH(QString, refusal);
        const testsupport::MinisignSigner signer;
        SetPublisherKeys(signer.publicKey());
        const auto pe = [](int revision) {
            testsupport::PeFixture fixture;
            fixture.fileVersion = QStringLiteral("1.0.0.%1").arg(revision);
            return testsupport::makePeImage(fixture);
        };
        const QByteArray signature = signer.sign(pe(offered), signedAs);
        testsupport::HttpTestServer server;
        if (offered == 0)
            server.routeDropped(QStringLiteral("/f.exe"), std::size_t(MaxDownloadBytes) + 1, 10);
        else
            server.putFile(QStringLiteral("/f.exe"), pe(offered));
        server.putFile(QStringLiteral("/f.exe.minisig"), signature);
        QTemporaryDir dir, elsewhere;
        const QString target = dir.filePath(QStringLiteral("f.exe"));
        const QByteArray old =
            installed.isEmpty() || installed.contains(u"link") ? QByteArray() : pe(installed.toInt());
        QVERIFY(writeFile(elsewhere.filePath(QStringLiteral("f.exe")), "elsewhere"));
        if (installed.contains(u"link"))
            QVERIFY(QFile::link(installed == u"link" ? elsewhere.filePath(QStringLiteral("f.exe")) : elsewhere.path(),
                                target));
        else if (!old.isEmpty())
            QVERIFY(writeFile(target, old) &&
                    (installed.endsWith(u'?') ||
                     writeFile(target + QStringLiteral(".minisig"), signer.sign(old, "f.exe"))));
        const QStringList before = entries(dir.path());

        const Fetched fetched = FetchFile(server.url(QStringLiteral("/f.exe")), target, nullptr,
                                          replacer ? VersionRule::NotOlder : VersionRule::Newer);
        QCOMPARE(fetched.saved, refusal.isEmpty());
        QCOMPARE(readFile(elsewhere.filePath(QStringLiteral("f.exe"))), QByteArray("elsewhere"));
        if (fetched.saved) {
            QCOMPARE(readFile(target), pe(offered));
            QCOMPARE(readFile(target + QStringLiteral(".minisig")), signature);
            QCOMPARE(entries(dir.path()), (QStringList{QStringLiteral("f.exe"), QStringLiteral("f.exe.minisig")}));
        } else {
            QCOMPARE(SignatureRefusedText(QStringLiteral("f.exe"), fetched.refused.value()), refusal);
            QCOMPARE(readFile(target), old);
            QCOMPARE(entries(dir.path()), before);
        }
    }

    void answerLongerThanTheCapFails()
    {
        testsupport::HttpTestServer server;
        server.putFile(QStringLiteral("/big"), QByteArray(1001, 'b'));
        server.putFile(QStringLiteral("/fits"), QByteArray(1000, 'b'));
        support::http::GetOptions options;
        options.maxBytes = 1000;
        QVERIFY(!support::http::get(server.url(QStringLiteral("/big")), options).ok());
        const auto fits = support::http::get(server.url(QStringLiteral("/fits")), options);
        QVERIFY(fits.ok());
        QCOMPARE(fits->body.size(), 1000);
    }
};

QTEST_GUILESS_MAIN(TestDownloadHelpers)
#include "tst_downloadhelpers.moc"
