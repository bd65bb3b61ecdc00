// The stand-in sibling tools, run as the program runs them: real programs in a temporary folder, the update
// server a real HTTP server on 127.0.0.1.
#include "AppInfo.h"
#include "HttpTestServer.h"
#include "RecordingServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using testsupport::HttpTestServer;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const QString Folder = QStringLiteral("/download/자동업데이트_v1/");
// The program's file name as the system names programs ("NorvaQuillet.exe" on Windows).
const QString Program = QStringLiteral("NorvaQuillet") +
                        (QStringLiteral(ZT_FIXTURE_CURRENT).endsWith(u".exe") ? QStringLiteral(".exe") : QString());
const QString NewProgram = QStringLiteral("New_") + Program;
// Company PCs keep their tools in folders named like this; every run here happens in one.
const QString WorkFolder = QDir::tempPath() + QStringLiteral("/업무 도구 (x86)-XXXXXX");

int ownRevision()
{
    return platform::ownVersion().revision;
}

// A copy of a built program in dir under name, ready to run.
bool install(const char* built, const QTemporaryDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    return QFile::copy(QString::fromUtf8(built), path) &&
           QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
}

// Runs a tool to its end (bounded) with extra environment; its exit code, or -1 when it did not end well.
int run(const QString& tool, const QStringList& args, const QMap<QString, QString>& env = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("no_proxy"), QStringLiteral("127.0.0.1"));
    for (auto it = env.begin(); it != env.end(); ++it)
        environment.insert(it.key(), it.value());
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(tool, args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

} // namespace

class TestSiblingTools final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checker_data()
    {
        QTest::addColumn<QByteArray>("offered"); // the version file; none when empty
        QTest::addColumn<QString>("served");     // what the update folder holds under the program's name
        QTest::addColumn<bool>("listed");        // the host comes from the server list, not the environment
        QTest::addColumn<bool>("leftOver");      // a "New_" file from an earlier run lies there
        QTest::addColumn<bool>("fetched");

        const QByteArray next = QByteArray::number(ownRevision() + 1);
        const QByteArray same = QByteArray::number(ownRevision());
        QTest::newRow("newer revision offered") << next << "next" << false << false << true;
        QTest::newRow("host from the server list") << next + "\r\n"
                                                   << "next" << true << false << true;
        QTest::newRow("same revision") << same << "next" << false << false << false;
        QTest::newRow("no version file") << QByteArray() << "next" << false << false << false;
        QTest::newRow("new build missing") << next << "missing" << false << false << false;
        QTest::newRow("download cut short") << next << "cut" << false << false << false;
        QTest::newRow("cut short, no length announced") << next << "cut, no length" << false << false << false;
        QTest::newRow("served build no newer") << next << "current" << false << false << false;
        QTest::newRow("earlier New_ file goes") << same << "next" << false << true << false;
    }
    void checker()
    {
        QFETCH(QByteArray, offered);
        QFETCH(QString, served);
        QFETCH(bool, listed);
        QFETCH(bool, leftOver);
        QFETCH(bool, fetched);

        QTemporaryDir dir(WorkFolder);
        QVERIFY(install(ZT_CHECKER_PATH, dir, QStringLiteral("RendloV1.exe")));
        QVERIFY(install(ZT_FIXTURE_CURRENT, dir, Program));
        if (leftOver)
            QVERIFY(writeFile(dir.filePath(NewProgram), "from an earlier run"));
        HttpTestServer server;
        if (!offered.isEmpty())
            server.putFile(Folder + QStringLiteral("NorvaQuillet_lastver.txt"), offered);
        const QByteArray next = readFile(QStringLiteral(ZT_FIXTURE_NEXT));
        if (served == u"next")
            server.putFile(Folder + Program, next);
        else if (served == u"current")
            server.putFile(Folder + Program, readFile(QStringLiteral(ZT_FIXTURE_CURRENT)));
        else if (served == u"cut")
            server.routeDropped(Folder + Program, std::size_t(next.size()), std::size_t(next.size() / 2));
        else if (served == u"cut, no length")
            server.routeCloseDelimited(Folder + Program, next.left(next.size() / 2));

        const QString nowhere = QStringLiteral("127.0.0.1:") + QString::number(testsupport::closedPort());
        QMap<QString, QString> env;
        if (listed) {
            server.putFile(QStringLiteral("/serverinfo/server-address-checker.php"),
                           "{\"success\": true, \"data\": {\"ver\": \"1\", \"servers\": [{\"name\": "
                           "\"자동업데이트_런처\", \"host\": \"" +
                               server.host().toUtf8() + "\"}]}}");
            env.insert(QStringLiteral("ZT_SERVER_LIST_URL"), server.url());
            env.insert(QStringLiteral("ZT_DEFAULT_SERVER"), nowhere);
        } else {
            env.insert(QStringLiteral("ZT_SERVER_LIST_URL"), QStringLiteral("http://") + nowhere);
            env.insert(QStringLiteral("ZT_DEFAULT_SERVER"), server.host());
        }

        QCOMPARE(
            run(dir.filePath(QStringLiteral("RendloV1.exe")), {QString::number(ownRevision()) + u';' + Program}, env),
            0);
        QCOMPARE(QFile::exists(dir.filePath(NewProgram)), fetched);
        if (fetched) {
            QCOMPARE(readFile(dir.filePath(NewProgram)), next);
            QVERIFY(QFileInfo(dir.filePath(NewProgram)).isExecutable());
        }
        // Nothing half-fetched stays behind, and the program itself is untouched.
        QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("*.part")}, QDir::Files), QStringList());
        QCOMPARE(readFile(dir.filePath(Program)), readFile(QStringLiteral(ZT_FIXTURE_CURRENT)));
    }

    void checkerRefusesAMalformedCommandLine()
    {
        QTemporaryDir dir(WorkFolder);
        QVERIFY(install(ZT_CHECKER_PATH, dir, QStringLiteral("RendloV1.exe")));
        QCOMPARE(run(dir.filePath(QStringLiteral("RendloV1.exe")), {Program}), 2);
    }

    void replacer_data()
    {
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<bool>("newBuild");   // "New_" + the program lies there
        QTest::addColumn<int>("oldRunsFor");  // seconds the old program runs on (0: it has ended)
        QTest::addColumn<int>("waitSeconds"); // how long the replacer waits for it
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("replaced");

        const QString both = Program + u';' + NewProgram;
        QTest::newRow("swaps and starts") << both << true << 0 << 30 << 0 << true;
        QTest::newRow("waits for the old program") << both << true << 1 << 30 << 0 << true;
        QTest::newRow("old program never ends") << both << true << 60 << 1 << 1 << false;
        QTest::newRow("new build missing") << both << false << 0 << 30 << 1 << false;
        QTest::newRow("no second name") << Program << true << 0 << 30 << 2 << false;
    }
    void replacer()
    {
        QFETCH(QString, parameters);
        QFETCH(bool, newBuild);
        QFETCH(int, oldRunsFor);
        QFETCH(int, waitSeconds);
        QFETCH(int, exitCode);
        QFETCH(bool, replaced);

        QTemporaryDir dir(WorkFolder);
        QVERIFY(install(ZT_REPLACER_PATH, dir, QStringLiteral("Swapnik.exe")));
        QVERIFY(install(ZT_FIXTURE_CURRENT, dir, Program));
        if (newBuild)
            QVERIFY(writeFile(dir.filePath(NewProgram), readFile(QStringLiteral(ZT_FIXTURE_NEXT))));
        QProcess old;
        if (oldRunsFor > 0) {
            old.start(dir.filePath(Program), {QStringLiteral("--stay"), QString::number(oldRunsFor)});
            QVERIFY(old.waitForStarted());
            QTRY_VERIFY(QFile::exists(dir.filePath(QStringLiteral("ran.txt"))));
        }

        QCOMPARE(run(dir.filePath(QStringLiteral("Swapnik.exe")), {parameters},
                     {{QStringLiteral("ZT_REPLACER_WAIT_SECONDS"), QString::number(waitSeconds)}}),
                 exitCode);
        old.kill();
        old.waitForFinished();

        const QByteArray expected = readFile(QString::fromUtf8(replaced ? ZT_FIXTURE_NEXT : ZT_FIXTURE_CURRENT));
        QCOMPARE(readFile(dir.filePath(Program)), expected);
        QVERIFY(QFileInfo(dir.filePath(Program)).isExecutable());
        QCOMPARE(QFile::exists(dir.filePath(NewProgram)), newBuild && !replaced);
        if (replaced) // the new build was started under the old name, without arguments
            QTRY_VERIFY(readFile(dir.filePath(QStringLiteral("ran.txt"))).endsWith("next " + Program.toUtf8() + '\n'));
    }

    void decoder_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("log beside its .sql") << QStringLiteral("day 1.log") << QStringLiteral("day 1.sql") << 0;
        QTest::newRow("any last four characters") << QStringLiteral("trace.txt1") << QStringLiteral("trace..sql") << 0;
        QTest::newRow("would overwrite its input") << QStringLiteral("old.sql") << QStringLiteral("old.sql") << 1;
    }
    void decoder()
    {
        QFETCH(QString, input);
        QFETCH(QString, output);
        QFETCH(int, exitCode);
        QTemporaryDir dir(WorkFolder);
        const QByteArray log = "4100A1B0\r\n0D0A\r\n";
        QVERIFY(writeFile(dir.filePath(input), log));

        QCOMPARE(run(QStringLiteral(ZT_DECODER_PATH), {dir.filePath(input), QStringLiteral("wrbe3%KA")}), exitCode);
        if (exitCode == 0)
            QCOMPARE(readFile(dir.filePath(output)),
                     "-- Palvex (stand-in): not decrypted, the log follows as it is\r\n" + log);
        else
            QCOMPARE(readFile(dir.filePath(input)), log);
    }
};

QTEST_GUILESS_MAIN(TestSiblingTools)
#include "tst_siblingtools.moc"
