// The update launcher against a real update server, with stand-in sibling tools run as real programs.
#include "HttpTestServer.h"
#include "MinisignSigner.h"
#include "PeFixture.h"
#include "RecordingServices.h"
#include "VbError.h"
#include "modAutoUpdateV1_Download.h"
#include "modAutoUpdateV1_Launcher.h"
#include "modMainShared.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace modAutoUpdateV1_Launcher;
using testsupport::installRecorder;
using testsupport::readFile;
using testsupport::recordedRuns;
using testsupport::recorderProgram;
using testsupport::writeFile;

namespace {

const QString Folder = QStringLiteral("/download/자동업데이트_v1/");

QString ownRevision()
{
    return QString::number(static_cast<qint16>(platform::ownVersion().revision));
}

} // namespace

class TestAutoUpdateLauncher : public QObject
{
    Q_OBJECT

    struct Setup
    {
        testsupport::TestServices t;
        testsupport::HttpTestServer server;
        QString dir() const { return t.services.app.dir; }
        QString path(const QString& name) const { return t.services.app.filePath(name); }
        void serve(const QString& name, const QByteArray& body) { server.putFile(Folder + name, body); }
        QStringList requests() const
        {
            QStringList names;
            for (const QString& p : server.paths())
                names.append(p.startsWith(Folder) ? p.mid(Folder.size()) : p);
            return names;
        }
        // What the stand-in checker and replacer were run with (empty: not run).
        QByteArray checkerArgs() const { return recordedRuns(path(QStringLiteral("RendloV1.exe"))).value(0); }
        QByteArray replacerArgs() const { return recordedRuns(path(QStringLiteral("Swapnik.exe"))).value(0); }
        // The next run of the stand-in checker leaves a newer build, as the real one does when there is one.
        bool checkerFindsNewBuild() const { return writeFile(path(QStringLiteral("RendloV1.exe.do")), "new\n"); }
    };

    static std::unique_ptr<Setup> setup()
    {
        auto s = std::make_unique<Setup>();
        modMain::UpdateServerHost = s->server.host();
        writeFile(s->path(QStringLiteral("NorvaQuillet")), "this program");
        s->serve(QStringLiteral("RendloV1.exe"), recorderProgram());
        s->serve(QStringLiteral("Swapnik.exe"), recorderProgram());
        return s;
    }

    static QByteArray peWithRevision(const QString& revision)
    {
        testsupport::PeFixture fixture;
        fixture.fileVersion = QStringLiteral("1.0.0.") + revision;
        return testsupport::makePeImage(fixture);
    }

private Q_SLOTS:
    void initTestCase() { qputenv("no_proxy", "127.0.0.1,localhost"); }
    // As a build without keys, whatever keys this one was built with (tst_startup_e2e has signed ones).
    void init() { modAutoUpdateV1_Download::SetPublisherKeys(QString()); }

    void versionValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("overflow");

        QTest::newRow("7") << QStringLiteral("7") << 7 << false;
        QTest::newRow("12abc") << QStringLiteral("12abc") << 12 << false;
        QTest::newRow("12.5 to even") << QStringLiteral("12.5") << 12 << false;
        QTest::newRow("13.5 to even") << QStringLiteral("13.5") << 14 << false;
        QTest::newRow("12.51") << QStringLiteral("12.51") << 13 << false;
        QTest::newRow("0.5") << QStringLiteral("0.5") << 0 << false;
        QTest::newRow(".5 no leading digit") << QStringLiteral(".5") << 0 << false;
        QTest::newRow("1.5") << QStringLiteral("1.5") << 2 << false;
        QTest::newRow("-2.5") << QStringLiteral("-2.5") << -2 << false;
        QTest::newRow("+3") << QStringLiteral("+3") << 3 << false;
        QTest::newRow("leading zeros") << QStringLiteral("0012") << 12 << false;
        QTest::newRow("leading blanks") << QStringLiteral("  8") << 8 << false;
        QTest::newRow("exponent") << QStringLiteral("2.5e1x") << 25 << false;
        QTest::newRow("e without digits") << QStringLiteral("4e") << 4 << false;
        QTest::newRow("second dot stops") << QStringLiteral("1.2.3") << 1 << false;
        QTest::newRow("no number") << QStringLiteral("abc") << 0 << false;
        QTest::newRow("hex is no number") << QStringLiteral("0x10") << 0 << false;
        QTest::newRow("largest") << QStringLiteral("2147483647") << 2147483647 << false;
        QTest::newRow("smallest") << QStringLiteral("-2147483648") << int(-2147483647 - 1) << false;
        QTest::newRow("rounds past 32 bits") << QStringLiteral("2147483647.5") << 0 << true;
        QTest::newRow("far too large") << QStringLiteral("99999999999") << 0 << true;
    }
    void versionValue()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QFETCH(bool, overflow);
        try {
            QCOMPARE(VersionValue(text), value);
            QVERIFY(!overflow);
        } catch (const platform::VbError& error) {
            QVERIFY(overflow);
            QCOMPARE(error.number(), platform::vberr::Overflow);
        }
    }

    void versionFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("checker") << QStringLiteral("RendloV1.exe") << QStringLiteral("RendloV1_lastver.txt");
        QTest::newRow("last dot") << QStringLiteral("a.b.exe") << QStringLiteral("a.b_lastver.txt");
        QTest::newRow("no dot") << QStringLiteral("Quillet") << QStringLiteral("Quillet_lastver.txt");
    }
    void versionFileName()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(VersionFileName(name), expected);
    }

    void selfUpdateComparesRevisions_data()
    {
        QTest::addColumn<QString>("localRevision"); // empty: no local checker
        QTest::addColumn<QByteArray>("serverText");
        QTest::addColumn<bool>("downloads");

        QTest::newRow("missing, server 3") << QString() << QByteArray("3") << true;
        QTest::newRow("7 and 7 is current") << QStringLiteral("7") << QByteArray("7") << false;
        QTest::newRow("newer than the server") << QStringLiteral("9") << QByteArray("7\r\n") << false;
        QTest::newRow("older") << QStringLiteral("6") << QByteArray("7") << true;
        QTest::newRow("leading zeros in the file") << QStringLiteral("0007") << QByteArray("7") << false;
        QTest::newRow("12abc is 12") << QStringLiteral("12") << QByteArray("12abc") << false;
        QTest::newRow("12.5 is 12") << QStringLiteral("12") << QByteArray("12.5") << false;
        QTest::newRow("13.5 is 14") << QStringLiteral("13") << QByteArray("13.5") << true;
        QTest::newRow("blanks around") << QStringLiteral("5") << QByteArray("  5  \n") << false;
        QTest::newRow("after the 20th byte unseen") << QString() << QByteArray("0000000000000000000000003") << false;
    }
    void selfUpdateComparesRevisions()
    {
        QFETCH(QString, localRevision);
        QFETCH(QByteArray, serverText);
        QFETCH(bool, downloads);
        auto s = setup();
        s->serve(QStringLiteral("RendloV1_lastver.txt"), serverText);
        const QByteArray localChecker = localRevision.isEmpty() ? QByteArray() : peWithRevision(localRevision);
        if (!localChecker.isEmpty())
            QVERIFY(writeFile(s->path(QStringLiteral("RendloV1.exe")), localChecker));

        QVERIFY(AutoUpdaterSelfUpdate(s->t.services));

        QCOMPARE(UpdateBaseUrl, QStringLiteral("http://") + s->server.host() + Folder);
        QStringList expected{QStringLiteral("RendloV1_lastver.txt")};
        if (downloads)
            expected << QStringLiteral("RendloV1.exe") << QStringLiteral("Swapnik.exe");
        QCOMPARE(s->requests(), expected);
        QCOMPARE(readFile(s->path(QStringLiteral("RendloV1.exe"))), downloads ? recorderProgram() : localChecker);
        QCOMPARE(QFile::exists(s->path(QStringLiteral("Swapnik.exe"))), downloads);
        QVERIFY(s->t.messageBox.messages.isEmpty());
    }

    // Local checker missing: both files come down and the new checker is run on the program.
    void missingCheckerIsFetchedAndRun()
    {
        auto s = setup();
        s->serve(QStringLiteral("RendloV1_lastver.txt"), "3");
        bool skip = false;
        QVERIFY(!RunAutoUpdate(s->t.services, skip));
        QCOMPARE(s->checkerArgs(), "1\n" + ownRevision().toUtf8() + ";NorvaQuillet\n");
        QVERIFY(QFileInfo(s->path(QStringLiteral("Swapnik.exe"))).isExecutable());
        QVERIFY(!s->t.exit.exited);
        QVERIFY(s->t.messageBox.messages.isEmpty());
    }

    // A compiled sibling carries our version note: its revision is read and compared like a Windows one's.
    // The compiled checker asks the update server for the program's version file; a served stand-in records
    // its arguments instead.
    void compiledCheckerRevisionIsRead_data()
    {
        QTest::addColumn<int>("serverOffset");
        QTest::addColumn<bool>("downloads");
        QTest::newRow("same revision") << 0 << false;
        QTest::newRow("server one ahead") << 1 << true;
    }
    void compiledCheckerRevisionIsRead()
    {
        QFETCH(int, serverOffset);
        QFETCH(bool, downloads);
        auto s = setup();
        const QString checker = s->path(QStringLiteral("RendloV1.exe"));
        QVERIFY(QFile::copy(QStringLiteral(ZT_COMPILED_CHECKER), checker));
        s->serve(QStringLiteral("RendloV1_lastver.txt"),
                 QByteArray::number(platform::ownVersion().revision + serverOffset));
        // The compiled checker finds the update server as the program does: no list, so the default host.
        qputenv("ZT_SERVER_LIST_URL", QStringLiteral("http://127.0.0.1:%1").arg(testsupport::closedPort()).toUtf8());
        qputenv("ZT_DEFAULT_SERVER", s->server.host().toUtf8());

        bool skip = false;
        QVERIFY(!RunAutoUpdate(s->t.services, skip));
        QCOMPARE(s->requests().contains(QStringLiteral("RendloV1.exe")), downloads);
        QCOMPARE(readFile(checker) == recorderProgram(), downloads);
        if (downloads)
            QCOMPARE(s->checkerArgs(), "1\n" + ownRevision().toUtf8() + ";NorvaQuillet\n");
        else
            QCOMPARE(s->requests().last(), QStringLiteral("NorvaQuillet_lastver.txt"));
    }

    void unreadableVersionStopsBeforeTheChecker_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("blanks only") << QStringLiteral("blanks");
        QTest::newRow("empty response") << QStringLiteral("empty");
        QTest::newRow("no version file (404)") << QStringLiteral("missing");
        QTest::newRow("server unreachable") << QStringLiteral("unreachable");
    }
    void unreadableVersionStopsBeforeTheChecker()
    {
        QFETCH(QString, kind);
        auto s = setup();
        QVERIFY(installRecorder(s->path(QStringLiteral("RendloV1.exe"))));
        if (kind == u"blanks")
            s->serve(QStringLiteral("RendloV1_lastver.txt"), "   \r\n ");
        else if (kind == u"empty")
            s->serve(QStringLiteral("RendloV1_lastver.txt"), "");
        else if (kind == u"unreachable")
            modMain::UpdateServerHost = QStringLiteral("127.0.0.1:%1").arg(testsupport::closedPort());

        bool skip = false;
        QVERIFY(!RunAutoUpdate(s->t.services, skip));
        QCOMPARE(s->t.messageBox.texts(),
                 QStringList{QStringLiteral("RendloV1.exe의 최신버전 정보를 읽어올 수 없습니다!")});
        QCOMPARE(s->t.messageBox.messages.first().icon, platform::MessageIcon::Error);
        QVERIFY(s->checkerArgs().isEmpty());
        QVERIFY(!s->t.exit.exited);
    }

    void versionBeyond32BitsIsReportedAndTakenAsZero()
    {
        auto s = setup();
        s->serve(QStringLiteral("RendloV1_lastver.txt"), "99999999999");
        QVERIFY(AutoUpdaterSelfUpdate(s->t.services));
        QCOMPARE(s->t.messageBox.texts(),
                 QStringList{QStringLiteral(
                     "Error 6 (Overflow) in procedure AutoUpdaterSelfUpdate of Module modAutoUpdateV1_Launcher")});
        QCOMPARE(s->requests(), QStringList{QStringLiteral("RendloV1_lastver.txt")});
    }

    void failedDownloads_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::addColumn<QStringList>("requests");
        QTest::addColumn<bool>("checkerReplaced");
        QTest::newRow("checker") << QStringLiteral("RendloV1.exe")
                                 << QStringList{QStringLiteral("RendloV1_lastver.txt"), QStringLiteral("RendloV1.exe")}
                                 << false;
        QTest::newRow("replacer") << QStringLiteral("Swapnik.exe")
                                  << QStringList{QStringLiteral("RendloV1_lastver.txt"), QStringLiteral("RendloV1.exe"),
                                                 QStringLiteral("Swapnik.exe")}
                                  << true;
    }
    void failedDownloads()
    {
        QFETCH(QString, missing);
        QFETCH(QStringList, requests);
        QFETCH(bool, checkerReplaced);
        auto s = setup();
        s->serve(QStringLiteral("RendloV1_lastver.txt"), "3");
        s->server.removeFile(Folder + missing);
        const QByteArray oldChecker = peWithRevision(QStringLiteral("2"));
        QVERIFY(writeFile(s->path(QStringLiteral("RendloV1.exe")), oldChecker));

        bool skip = false;
        QVERIFY(!RunAutoUpdate(s->t.services, skip));
        QCOMPARE(s->requests(), requests);
        QCOMPARE(readFile(s->path(QStringLiteral("RendloV1.exe"))) == oldChecker, !checkerReplaced);
        QVERIFY(s->checkerArgs().isEmpty());
        QVERIFY(s->t.messageBox.messages.isEmpty());
        QVERIFY(!s->t.exit.exited);
    }

    void skipSelfUpdateMakesNoRequest()
    {
        auto s = setup();
        QVERIFY(installRecorder(s->path(QStringLiteral("RendloV1.exe"))));
        const QByteArray checker = readFile(s->path(QStringLiteral("RendloV1.exe")));
        bool skip = true;
        QVERIFY(!RunAutoUpdate(s->t.services, skip));
        QVERIFY(s->server.paths().isEmpty());
        QCOMPARE(readFile(s->path(QStringLiteral("RendloV1.exe"))), checker);
        // One argument, revision;name, with the program's own name and nothing added to it.
        QCOMPARE(s->checkerArgs(), "1\n" + ownRevision().toUtf8() + ";NorvaQuillet\n");
        QVERIFY(!s->t.exit.exited);
    }

    void missingProgramSkipsTheChecker()
    {
        auto s = setup();
        QVERIFY(installRecorder(s->path(QStringLiteral("RendloV1.exe"))));
        QVERIFY(QFile::remove(s->path(QStringLiteral("NorvaQuillet"))));
        bool skip = true;
        QVERIFY(!RunAutoUpdate(s->t.services, skip));
        QVERIFY(s->checkerArgs().isEmpty());
    }

    // The replacer as the hand-over finds it: here, missing (its download was skipped or lost, and it is otherwise
    // fetched only with an outdated checker), or there but damaged, so that it cannot be started.
    static bool stageReplacer(const Setup& s, const QString& local)
    {
        const QString path = s.path(QStringLiteral("Swapnik.exe"));
        if (local == u"empty" || local == u"error page")
            return writeFile(path, local == u"empty" ? QByteArray() : "<html><body>Access denied</body></html>\n");
        return local == u"missing" ||
               (installRecorder(path) &&
                (local == u"here" || QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner)));
    }
    // Each state of the replacer, and without "here" each also with its download skipped by the person.
    static void replacerStates(bool withHere)
    {
        QTest::addColumn<QString>("local");
        QTest::addColumn<bool>("skipped");
        QStringList states{QStringLiteral("missing"), QStringLiteral("empty"), QStringLiteral("error page")};
#ifndef Q_OS_WIN
        states.append(QStringLiteral("not runnable"));
#endif
        if (withHere)
            QTest::newRow("here") << QStringLiteral("here") << false;
        for (int skipped = 0; skipped <= int(!withHere); ++skipped) {
            for (const QString& state : std::as_const(states))
                QTest::addRow("%s%s", qPrintable(state), skipped ? ", download skipped" : "") << state << bool(skipped);
        }
    }

    void handsOverToTheReplacer_data()
    {
        replacerStates(true);
    }
    void handsOverToTheReplacer()
    {
        QFETCH(QString, local);
        auto s = setup();
        QVERIFY(installRecorder(s->path(QStringLiteral("RendloV1.exe"))));
        QVERIFY(stageReplacer(*s, local));
        QVERIFY(s->checkerFindsNewBuild());

        bool skip = true;
        QVERIFY(!RunAutoUpdate(s->t.services, skip));
        QVERIFY(s->t.exit.exited);
        QCOMPARE(s->t.exit.exitCode, 0);
        QVERIFY(s->t.messageBox.messages.isEmpty());
        QVERIFY(QFile::exists(s->path(QStringLiteral("New_NorvaQuillet"))));
        QTRY_COMPARE(s->replacerArgs(), QByteArray("1\nNorvaQuillet;New_NorvaQuillet\n"));
        QCOMPARE(s->requests(), local == u"here" ? QStringList() : QStringList{QStringLiteral("Swapnik.exe")});
    }

    // Not to be had from the server either: the person is told, in the folder where they can put it by hand. When
    // they skipped its download, nothing is said and this build starts.
    void replacerNotToBeHad_data()
    {
        replacerStates(false);
    }
    void replacerNotToBeHad()
    {
        QFETCH(QString, local);
        QFETCH(bool, skipped);
        auto s = setup();
        s->server.removeFile(Folder + QStringLiteral("Swapnik.exe"));
        QVERIFY(installRecorder(s->path(QStringLiteral("RendloV1.exe"))));
        QVERIFY(stageReplacer(*s, local));
        QVERIFY(s->checkerFindsNewBuild());
        s->t.waitWindow.skip = skipped;

        bool skip = true;
        QVERIFY(!RunAutoUpdate(s->t.services, skip));
        const QString what = local == u"missing" ? QStringLiteral("파일교체 프로그램을 찾을 수 없습니다.")
                                                 : QStringLiteral("파일교체 프로그램을 실행할 수 없습니다.");
        QCOMPARE(s->t.messageBox.texts(),
                 skipped ? QStringList()
                         : QStringList{what + QStringLiteral("\r\n\r\n") +
                                       QDir::toNativeSeparators(s->path(QStringLiteral("Swapnik.exe")))});
        QCOMPARE(s->t.exit.exited, !skipped);
        QCOMPARE(s->t.fileManager.folders, skipped ? QStringList() : QStringList{s->dir()});
        QCOMPARE(s->requests(), skipped ? QStringList() : QStringList{QStringLiteral("Swapnik.exe")});
    }

    // In a build with keys: a new build older than this one is removed, said, never handed over; a checker in the
    // folder that no signature vouches for is fetched again, with its signature, before it runs. (What each
    // program's signature and version must be: tst_downloadhelpers.)
    void signaturesNameTheFileAndItsVersion_data()
    {
        QTest::addColumn<bool>("checkerSigned");
        QTest::addColumn<QString>("message");
        QTest::newRow("a new build older than this one")
            << true
            << QStringLiteral("New_NorvaQuillet의 받은 버전이 설치된 버전보다 새롭지 않아 받은 파일을 버렸습니다.\r\n"
                              "(받은 버전: 1.0.0.0, 설치된 버전: 1.0.0.%1)")
                   .arg(platform::ownVersion().revision);
        QTest::newRow("a checker in the folder without its signature") << false << QString();
    }
    void signaturesNameTheFileAndItsVersion()
    {
        QFETCH(bool, checkerSigned);
        QFETCH(QString, message);
        auto s = setup();
        const testsupport::MinisignSigner signer;
        modAutoUpdateV1_Download::SetPublisherKeys(signer.publicKey());
        for (const char* name : {"RendloV1.exe", "Swapnik.exe", "NorvaQuillet"}) {
            const QByteArray bytes = *name == 'N' ? peWithRevision(QStringLiteral("0")) : recorderProgram();
            s->serve(QString::fromLatin1(name), bytes);
            s->serve(QString::fromLatin1(name) + QStringLiteral(".minisig"), signer.sign(bytes, name));
        }
        s->serve(QStringLiteral("RendloV1_lastver.txt"), "0");
        const QString checker = s->path(QStringLiteral("RendloV1.exe"));
        QVERIFY(installRecorder(checker));
        if (checkerSigned)
            QVERIFY(writeFile(checker + QStringLiteral(".minisig"), signer.sign(readFile(checker), "RendloV1.exe")) &&
                    writeFile(s->path(QStringLiteral("New_NorvaQuillet")), peWithRevision(QStringLiteral("0"))));

        QVERIFY(!RunAutoUpdate(s->t.services, false));
        QCOMPARE(s->t.messageBox.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        QVERIFY(!s->t.exit.exited);
        QVERIFY(!QFile::exists(s->path(QStringLiteral("New_NorvaQuillet"))));
        // Run either way; fetched again, with its signature, only when none vouched for it.
        QVERIFY(!s->checkerArgs().isEmpty());
        QCOMPARE(s->requests().contains(QStringLiteral("RendloV1.exe")), !checkerSigned);
        QVERIFY(QFile::exists(checker + QStringLiteral(".minisig")));
    }

    void noNewBuildGoesOn()
    {
        auto s = setup();
        QVERIFY(installRecorder(s->path(QStringLiteral("RendloV1.exe"))));
        QVERIFY(installRecorder(s->path(QStringLiteral("Swapnik.exe"))));
        bool skip = true;
        QVERIFY(!RunAutoUpdate(s->t.services, skip));
        QVERIFY(!s->checkerArgs().isEmpty());
        QVERIFY(!s->t.exit.exited);
        QVERIFY(s->replacerArgs().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestAutoUpdateLauncher)
#include "tst_autoupdatelauncher.moc"
