#include "HttpTestServer.h"
#include "MachineIdentity.h"
#include "RecordingServices.h"
#include "SettingsStore.h"
#include "TestDb.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using testsupport::HttpTestServer;
using testsupport::readFile;

namespace {

const QString UpdatePath = QStringLiteral("/download/자동업데이트_v1/");

// Stand-ins for the sibling tools, served by the update server as a real one serves the tools.
// The checker records its parameters and, when the test left a "make-new" file, leaves a newer build.
const QByteArray Checker = "#!/bin/sh\nprintf '%s\\n' \"$1\" >> checker-ran\n"
                           "[ -e make-new ] && echo 'new build' > \"New_${1#*;}\"\nexit 0\n";
const QByteArray Replacer = "#!/bin/sh\nprintf '%s\\n' \"$1\" > \"$(dirname \"$0\")/replacer-ran\"\n";
const QByteArray Decoder = "#!/bin/sh\nexit 0\n";

} // namespace

class TestStartupE2E final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString m_appDir;
    QString m_configDir;
    std::unique_ptr<HttpTestServer> m_http;
    std::unique_ptr<QProcess> m_program;

    QString app(const QString& name) const { return m_appDir + u'/' + name; }

    void serveList(const QString& dbHost)
    {
        const QByteArray data = "{\"ver\": \"3\",\"servers\": [{\"name\": \"자동업데이트_런처\",\"host\": \"" +
                                m_http->host().toUtf8() + "\"},{\"name\": \"사내메신저DB서버\",\"host\": \"" +
                                dbHost.toUtf8() + "\"}]}";
        m_http->putFile(QStringLiteral("/serverinfo/server-address-checker.php"),
                        "{\"success\": true, \"data\": " + data + "}");
    }

    void start()
    {
        m_program = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_configDir);
        env.insert(QStringLiteral("ZT_SERVER_LIST_URL"), m_http->url());
        env.insert(QStringLiteral("ZT_DEFAULT_SERVER"), QStringLiteral("127.0.0.1:1"));
        env.insert(QStringLiteral("no_proxy"), QStringLiteral("127.0.0.1"));
        m_program->setProcessEnvironment(env);
        m_program->setProcessChannelMode(QProcess::ForwardedChannels);
        m_program->start(app(QStringLiteral("NorvaQuillet")), {});
        QVERIFY(m_program->waitForStarted());
    }

private Q_SLOTS:
    void init()
    {
        m_appDir = m_root.filePath(QString::fromLatin1(QTest::currentTestFunction()) + QStringLiteral("/app"));
        m_configDir = m_root.filePath(QString::fromLatin1(QTest::currentTestFunction()) + QStringLiteral("/config"));
        QVERIFY(QDir().mkpath(m_appDir));
        QVERIFY(QFile::copy(QStringLiteral(ZT_PROGRAM_PATH), app(QStringLiteral("NorvaQuillet"))));
        m_http = std::make_unique<HttpTestServer>();
        m_http->putFile(UpdatePath + QStringLiteral("RendloV1_lastver.txt"), "3");
        m_http->putFile(UpdatePath + QStringLiteral("RendloV1.exe"), Checker);
        m_http->putFile(UpdatePath + QStringLiteral("Swapnik.exe"), Replacer);
        m_http->putFile(UpdatePath + QStringLiteral("Palvex_lastver.txt"), "5");
        m_http->putFile(UpdatePath + QStringLiteral("Palvex.exe"), Decoder);
    }

    void cleanup()
    {
        if (m_program && m_program->state() != QProcess::NotRunning) {
            m_program->kill();
            m_program->waitForFinished();
        }
        m_program.reset();
        m_http.reset();
    }

    void allowedPcWithSavedPasswordReachesTheMainWindow()
    {
        if (!testdb::available())
            QSKIP(testdb::SkipReason);
        const QString mac = platform::MachineIdentity().macAddress();
        if (mac.isEmpty())
            QSKIP("this machine has no network adapter with an address");
        testdb::Root root;
        QVERIFY2(root.isOpen(), qPrintable(root.error()));
        QVERIFY(root.clearTables());
        QVERIFY(root.addUser(QStringLiteral("e2e"), QStringLiteral("암호pw")));
        QVERIFY(root.addMac(QStringLiteral("e2e"), mac));
        platform::SettingsStore settings(m_configDir + QStringLiteral("/NorvaQuillet"));
        settings.write(QStringLiteral("Norva 업무관리"), QStringLiteral("Config"), QStringLiteral("issave_passwd"),
                       QStringLiteral("1"));
        settings.write(QStringLiteral("Norva 업무관리"), QStringLiteral("Config"), QStringLiteral("passwd"),
                       QStringLiteral("암호pw"));
        serveList(testdb::serverAddress());

        start();

        // The main window's load fetches the missing external decoder: the window was reached.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(app(QStringLiteral("Palvex.exe"))), 30000);
        QCOMPARE(m_program->state(), QProcess::Running);
        // The list was cached in the writer's compact form, and both hosts came from it.
        QCOMPARE(QString::fromUtf8(readFile(app(QStringLiteral("server_address_setting.json"))).mid(3)),
                 QStringLiteral("{\"ver\": \"3\",\"servers\": [{\"name\": \"자동업데이트_런처\",\"host\": \"") +
                     m_http->host() + QStringLiteral("\"},{\"name\": \"사내메신저DB서버\",\"host\": \"") +
                     testdb::serverAddress() + QStringLiteral("\"}]}"));
        // The sibling tools were fetched and the checker ran on this executable with this build's revision.
        QVERIFY(QFile::exists(app(QStringLiteral("Swapnik.exe"))));
        QCOMPARE(readFile(app(QStringLiteral("checker-ran"))), QByteArray("1;NorvaQuillet\n"));
        QVERIFY(!QFile::exists(app(QStringLiteral("replacer-ran"))));
    }

    void newerBuildIsHandedToTheReplacer()
    {
        serveList(QStringLiteral("127.0.0.1:1"));
        QVERIFY(testsupport::writeFile(app(QStringLiteral("make-new")), ""));

        start();

        QVERIFY(m_program->waitForFinished(30000));
        QCOMPARE(m_program->exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_program->exitCode(), 0);
        QVERIFY(QFile::exists(app(QStringLiteral("New_NorvaQuillet"))));
        QTRY_COMPARE(readFile(app(QStringLiteral("replacer-ran"))), QByteArray("NorvaQuillet;New_NorvaQuillet\n"));
        // The program ended before any login: no window opened, nothing else was fetched.
        QVERIFY(!QFile::exists(app(QStringLiteral("Palvex.exe"))));
    }
};

QTEST_GUILESS_MAIN(TestStartupE2E)
#include "tst_startup_e2e.moc"
