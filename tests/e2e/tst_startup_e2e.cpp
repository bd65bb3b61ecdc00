// The real program, started as a user starts it from an empty program folder, against real local servers: the
// server list and the update server on 127.0.0.1 in the test, serving the real sibling tools, and the
// throw-away MariaDB of scripts/test. What a person would have seen is read from the program's record of the
// windows it showed (ZT_UI_RECORD), which also answers each message box with OK.
#include "AppInfo.h"
#include "Cp949.h"
#include "Executables.h"
#include "HttpTestServer.h"
#include "HttpTransfer.h"
#include "LoginSql.h"
#include "NetworkMachineIdentity.h"
#include "OrdinaryUser.h"
#include "RecordingServices.h"
#include "SettingsStore.h"
#include "SilentPort.h"
#include "TestDb.h"
#include "UpdateKeys.h"
#include "mdlFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::HttpTestServer;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const QString UpdatePath = QStringLiteral("/download/자동업데이트_v1/");
const QString Caption = QStringLiteral("ZT SQL 로그 디코더 v.");
const QString Password = QStringLiteral("암호pw");
const QString DatabaseDown = QStringLiteral("message: 데이터베이스 서버에 접속할 수 없습니다.\r\n"
                                            "인터넷이 연결되어 있는지 확인 해 주세요.");

// One window the program showed.
struct Shown
{
    qint64 pid = 0;
    QString object; // "frmLogin", "frmMain"; a message box has none
    QString title;
    QString text; // a message box's text
    bool isMessage = false;
};

} // namespace

class TestStartupE2E final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString m_appDir;
    QString m_configDir;
    QString m_stateDir;
    QString m_record;
    QString m_drop; // a file the main window gets dropped on it, then closes
    std::unique_ptr<HttpTestServer> m_http;
    std::unique_ptr<QProcess> m_program;
    qint64 m_programPid = 0;
    // Whether what is published is signed, with the key pair the scripts build the program with.
    bool m_signing = false;

    QString app(const QString& name) const { return m_appDir + u'/' + name; }

    // The program folder's files, but the signatures kept beside the programs (tst_downloadhelpers shows those).
    QStringList appFiles() const
    {
        QStringList files = QDir(m_appDir).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
        files.removeIf([](const QString& name) { return name.endsWith(QStringLiteral(".minisig")); });
        return files;
    }

    // The program file at path in the update folder as name, with its signature when the program asks for one
    // (minisign's own, which names the file signed: the copy under the name published).
    bool publish(const QString& name, const QString& path)
    {
        m_http->putFile(UpdatePath + name, readFile(path));
        if (!m_signing)
            return true;
        const QString copy = m_root.filePath(QStringLiteral("published/") + name);
        const QString signature = copy + QStringLiteral(".minisig");
        if (!writeFile(copy, readFile(path)) ||
            QProcess::execute(QStringLiteral(ZT_MINISIGN_PATH),
                              {QStringLiteral("-S"), QStringLiteral("-s"),
                               QStringLiteral(ZT_UPDATE_KEY_DIR "/minisign.key"), QStringLiteral("-m"), copy}) != 0)
            return false;
        m_http->putFile(UpdatePath + name + QStringLiteral(".minisig"), readFile(signature));
        return true;
    }

    void serveList(const QString& updateHost, const QString& dbHost)
    {
        m_http->putFile(QStringLiteral("/serverinfo/server-address-checker.php"),
                        "{\"success\": true, \"data\": {\"ver\": \"3\",\"servers\": [{\"name\": \"자동업데이트_런처\","
                        "\"host\": \"" +
                            updateHost.toUtf8() + "\"},{\"name\": \"사내메신저DB서버\",\"host\": \"" + dbHost.toUtf8() +
                            "\"}]}}");
    }

    // The test database knows the user; with allowed, this PC is on the allowlist for it. The password is
    // saved, so the login dialog logs in by itself.
    void registerUser(bool allowed)
    {
        testdb::Root root;
        QVERIFY2(root.isOpen(), qPrintable(root.error()));
        QVERIFY(root.clearTables());
        QVERIFY(root.addUser(QStringLiteral("e2e"), Password));
        if (allowed)
            QVERIFY(root.addMac(QStringLiteral("e2e"), platform::NetworkMachineIdentity().macAddress()));
        platform::SettingsStore settings(m_configDir + QStringLiteral("/NorvaQuillet"));
        settings.write(QStringLiteral("Norva 업무관리"), QStringLiteral("Config"), QStringLiteral("issave_passwd"),
                       QStringLiteral("1"));
        settings.write(QStringLiteral("Norva 업무관리"), QStringLiteral("Config"), QStringLiteral("passwd"), Password);
    }

    void start(const QString& serverListUrl, const QString& defaultServer, bool asOrdinaryUser = false)
    {
        m_program = std::make_unique<QProcess>();
        if (asOrdinaryUser && ::geteuid() == 0) {
            m_program->setChildProcessModifier([ids = testsupport::nobody()] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(ids.pw_gid) != 0 || ::setuid(ids.pw_uid) != 0)
                    ::_exit(126);
            });
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_configDir);
        env.insert(QStringLiteral("HOME"), m_configDir);
        env.insert(QStringLiteral("XDG_STATE_HOME"), m_stateDir);
        if (!m_drop.isEmpty())
            env.insert(QStringLiteral("ZT_UI_DROP"), m_drop);
        env.insert(QStringLiteral("ZT_UI_RECORD"), m_record);
        env.insert(QStringLiteral("ZT_SERVER_LIST_URL"), serverListUrl);
        env.insert(QStringLiteral("ZT_DEFAULT_SERVER"), defaultServer);
        env.insert(QStringLiteral("no_proxy"), QStringLiteral("127.0.0.1"));
        m_program->setProcessEnvironment(env);
        m_program->setProcessChannelMode(QProcess::ForwardedChannels);
        m_program->start(app(QStringLiteral("NorvaQuillet")), {});
        QVERIFY(m_program->waitForStarted());
        m_programPid = m_program->processId();
    }

    QList<Shown> shown() const
    {
        QList<Shown> windows;
        const QList<QByteArray> lines = readFile(m_record).split('\n');
        for (const QByteArray& line : lines) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.isEmpty())
                continue;
            windows.append({qint64(o.value(QStringLiteral("pid")).toDouble()),
                            o.value(QStringLiteral("object")).toString(), o.value(QStringLiteral("title")).toString(),
                            o.value(QStringLiteral("text")).toString(), o.contains(QStringLiteral("text"))});
        }
        return windows;
    }

    // What was shown, one line each, for comparing and for failure output: "frmLogin", "frmMain: title",
    // "message: text".
    QStringList shownLines() const
    {
        QStringList lines;
        const QList<Shown> windows = shown();
        for (const Shown& w : windows) {
            if (w.isMessage)
                lines.append(QStringLiteral("message: ") + w.text);
            else if (w.object == u"frmMain")
                lines.append(QStringLiteral("frmMain: ") + w.title);
            else
                lines.append(w.object);
        }
        return lines;
    }

    bool hasShown(const QString& line) const { return shownLines().contains(line); }

    QString expectedCaption(int revision) const
    {
        const platform::Version v = platform::ownVersion();
        return QStringLiteral("frmMain: ") + Caption + QString::number(v.major) + u'.' + QString::number(v.minor) +
               u'.' + QString::number(revision);
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QByteArray key = readFile(QStringLiteral(ZT_UPDATE_KEY_DIR "/minisign.pub")).split('\n').value(1);
        m_signing = modAutoUpdateV1_Download::build::PublisherKeys[0] != '\0';
        if (m_signing && (key.isEmpty() || !QByteArray(modAutoUpdateV1_Download::build::PublisherKeys).contains(key)))
            QSKIP("the program verifies downloads, but " ZT_UPDATE_KEY_DIR " holds no key pair of one of its "
                  "ZT_UPDATE_PUBLIC_KEYS (scripts/test makes it): nothing served could be signed");
    }

    void init()
    {
        QString name = QString::fromLatin1(QTest::currentTestFunction());
        if (QTest::currentDataTag())
            name += u'/' + QString::fromLatin1(QTest::currentDataTag());
        m_appDir = m_root.filePath(name + QStringLiteral("/app"));
        m_configDir = m_root.filePath(name + QStringLiteral("/config"));
        m_stateDir = m_root.filePath(name + QStringLiteral("/state"));
        m_drop.clear();
        m_record = m_root.filePath(name + QStringLiteral("/shown.jsonl"));
        QVERIFY(QDir().mkpath(m_appDir));
        QVERIFY(QFile::copy(QStringLiteral(ZT_PROGRAM_PATH), app(QStringLiteral("NorvaQuillet"))));

        // The update folder as the real one holds it: the sibling tools of this build and their revisions.
        const QByteArray revision = QByteArray::number(platform::ownVersion().revision);
        m_http = std::make_unique<HttpTestServer>();
        m_http->putFile(UpdatePath + QStringLiteral("RendloV1_lastver.txt"), revision);
        QVERIFY(publish(QStringLiteral("RendloV1.exe"), QStringLiteral(ZT_CHECKER_PATH)));
        QVERIFY(publish(QStringLiteral("Swapnik.exe"), QStringLiteral(ZT_REPLACER_PATH)));
        m_http->putFile(UpdatePath + QStringLiteral("Palvex_lastver.txt"), revision);
        QVERIFY(publish(QStringLiteral("Palvex.exe"), QStringLiteral(ZT_DECODER_PATH)));
    }

    void cleanup()
    {
        if (m_program && m_program->state() != QProcess::NotRunning) {
            m_program->kill();
            m_program->waitForFinished();
        }
        m_program.reset();
        // A program folder a test made read-only can be emptied again when the test folder goes.
        ::chmod(QFile::encodeName(m_appDir).constData(), 0755);
        // A build that the replacer started is no child of this test: it is ended by the id it recorded.
        QSet<qint64> others;
        const QList<Shown> windows = shown();
        for (const Shown& w : windows) {
            if (w.pid > 0 && w.pid != m_programPid)
                others.insert(w.pid);
        }
        for (const qint64 pid : std::as_const(others))
            ::kill(pid_t(pid), SIGKILL);
        m_http.reset();
    }

    // The old build finds a newer one on the update server, hands over, and the newer build ends up in its
    // place, running, past the login and into its main window.
    void newerBuildReplacesTheProgramAndRuns()
    {
        if (!testdb::available())
            QSKIP(testdb::SkipReason);
        const QString newerPath = qEnvironmentVariable("ZT_NEWER_BUILD");
        if (newerPath.isEmpty())
            QSKIP("no newer build: run scripts/test, or set ZT_NEWER_BUILD to a build with a higher ZT_REVISION");
        testsupport::TestServices t;
        const QString newerVersion = mdlFile::GetFileVer(t.services, newerPath, true, true);
        const int newer = newerVersion.mid(newerVersion.lastIndexOf(u'.') + 1).toInt();
        QVERIFY2(newer > platform::ownVersion().revision,
                 qPrintable(newerPath + QStringLiteral(" is ") + newerVersion));
        const QByteArray newerBuild = readFile(newerPath);
        m_http->putFile(UpdatePath + QStringLiteral("NorvaQuillet_lastver.txt"), QByteArray::number(newer));
        QVERIFY(publish(QStringLiteral("NorvaQuillet"), newerPath));
        registerUser(true);
        serveList(m_http->host(), testdb::serverAddress());

        start(m_http->url(), QStringLiteral("127.0.0.1:1"));

        // The old build ends without a window; the newer one reaches its main window.
        QVERIFY(m_program->waitForFinished(60000));
        QCOMPARE(m_program->exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_program->exitCode(), 0);
        QTRY_VERIFY2_WITH_TIMEOUT(hasShown(expectedCaption(newer)), qPrintable(shownLines().join(u'\n')), 60000);
        QCOMPARE(shownLines(), (QStringList{QStringLiteral("frmLogin"), expectedCaption(newer)}));
        QVERIFY(shown().first().pid != m_programPid);

        // On disk: the newer build in the old one's place and running, no "New_" file left, the tools and the
        // external decoder fetched, the server list cached.
        QCOMPARE(readFile(app(QStringLiteral("NorvaQuillet"))), newerBuild);
        QVERIFY(platform::isExecutableRunning(app(QStringLiteral("NorvaQuillet"))));
        QTRY_VERIFY(QFile::exists(app(QStringLiteral("Palvex.exe"))));
        QCOMPARE(appFiles(), (QStringList{QStringLiteral("NorvaQuillet"), QStringLiteral("Palvex.exe"),
                                          QStringLiteral("RendloV1.exe"), QStringLiteral("Swapnik.exe"),
                                          QStringLiteral("server_address_setting.json")}));
    }

    // Signed by another key: a checker is discarded with the message and never run; a newer build the checker
    // fetched is removed, never handed over. The installed build goes on (here to a database that is down).
    void signedByAnotherKeyIsNeitherKeptNorRun_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("the version checker")
            << QStringLiteral("RendloV1.exe")
            << QStringList{QStringLiteral("NorvaQuillet"), QStringLiteral("server_address_setting.json")};
        QTest::newRow("a newer build") << QStringLiteral("NorvaQuillet")
                                       << QStringList{QStringLiteral("NorvaQuillet"), QStringLiteral("RendloV1.exe"),
                                                      QStringLiteral("Swapnik.exe"),
                                                      QStringLiteral("server_address_setting.json")};
    }
    void signedByAnotherKeyIsNeitherKeptNorRun()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, files);
        if (!m_signing)
            QSKIP("the program does not verify downloads: configure it with ZT_UPDATE_PUBLIC_KEYS (scripts/test does)");
        QString shownName = name;
        if (name == u"NorvaQuillet") {
            const QString newerPath = qEnvironmentVariable("ZT_NEWER_BUILD");
            if (newerPath.isEmpty())
                QSKIP("no newer build: run scripts/test, or set ZT_NEWER_BUILD to a build with a higher ZT_REVISION");
            m_http->putFile(UpdatePath + QStringLiteral("NorvaQuillet_lastver.txt"),
                            QByteArray::number(platform::ownVersion().revision + 1));
            m_http->putFile(UpdatePath + name, readFile(newerPath));
            shownName = QStringLiteral("New_") + name;
        }
        m_http->putFile(UpdatePath + name + QStringLiteral(".minisig"),
                        readFile(QStringLiteral(ZT_MINISIGN_FIXTURES "/payload.b.minisig")));
        serveList(m_http->host(), QStringLiteral("127.0.0.1:%1").arg(testsupport::closedPort()));

        start(m_http->url(), QStringLiteral("127.0.0.1:1"));

        QVERIFY(m_program->waitForFinished(60000));
        QCOMPARE(shownLines(), (QStringList{QStringLiteral("message: ") + shownName +
                                                QStringLiteral("의 서명이 확인되지 않아 받은 파일을 버렸습니다.\r\n("
                                                               "등록되지 않은 키로 서명되었습니다)"),
                                            QStringLiteral("frmLogin"), DatabaseDown}));
        QCOMPARE(shown().constLast().pid, m_programPid);
        QCOMPARE(readFile(app(QStringLiteral("NorvaQuillet"))), readFile(QStringLiteral(ZT_PROGRAM_PATH)));
        QCOMPARE(appFiles(), files);
    }

    // Neither the server list nor the update server answers: start-up goes on with the default hosts (the
    // default database lets the user in), the user sees the launcher's message, and the login dialog follows
    // once the list's request has given up.
    void serversDownStartUpGoesOnWithDefaults()
    {
        if (!testdb::available())
            QSKIP(testdb::SkipReason);
        registerUser(true);
        const testsupport::SilentPort serverList;

        QElapsedTimer clock;
        clock.start();
        // One default address for both: with the database's port in it, the update requests meet a server
        // that speaks no HTTP.
        start(QStringLiteral("http://127.0.0.1:%1").arg(serverList.port()), testdb::serverAddress());

        const qint64 bound = (support::http::timeouts().connectSeconds + 10) * 1000;
        QTRY_VERIFY2_WITH_TIMEOUT(hasShown(QStringLiteral("frmLogin")), qPrintable(shownLines().join(u'\n')),
                                  int(bound));
        QVERIFY2(clock.elapsed() < bound, qPrintable(QString::number(clock.elapsed())));
        QTRY_VERIFY2_WITH_TIMEOUT(shownLines().size() == 5, qPrintable(shownLines().join(u'\n')), 30000);
        // While the list's host went unanswered, the wait window said so.
        QCOMPARE(shownLines(),
                 (QStringList{QStringLiteral("waitWindow"),
                              QStringLiteral("message: RendloV1.exe의 최신버전 정보를 읽어올 수 없습니다!"),
                              QStringLiteral("frmLogin"),
                              QStringLiteral("message: Palvex.exe의 최신버전 정보를 읽어올 수 없습니다!"),
                              expectedCaption(platform::ownVersion().revision)}));
        QCOMPARE(m_program->state(), QProcess::Running);
        // Nothing was fetched and no list was cached.
        QCOMPARE(appFiles(), QStringList{QStringLiteral("NorvaQuillet")});
    }

    void pcNotOnTheAllowlistIsRefused()
    {
        if (!testdb::available())
            QSKIP(testdb::SkipReason);
        const QString mac = platform::NetworkMachineIdentity().macAddress();
        registerUser(false);
        serveList(m_http->host(), testdb::serverAddress());

        start(m_http->url(), QStringLiteral("127.0.0.1:1"));

        QVERIFY(m_program->waitForFinished(60000));
        QCOMPARE(m_program->exitCode(), 0);
        QCOMPARE(shownLines(),
                 (QStringList{QStringLiteral("frmLogin"),
                              QStringLiteral("message: 허용되지 않은 컴퓨터입니다. 관리자에게 문의바랍니다.\r\nMAC: ") +
                                  mac}));
        // The update path ran; the main window, which fetches the external decoder, never opened.
        QCOMPARE(appFiles(),
                 (QStringList{QStringLiteral("NorvaQuillet"), QStringLiteral("RendloV1.exe"),
                              QStringLiteral("Swapnik.exe"), QStringLiteral("server_address_setting.json")}));
    }

    // Run by an ordinary user from a folder only an administrator may write: one message names the folder and
    // what will not work, the fetched list still leads to the database, and the program reaches its main window
    // without writing a file or showing a message per file.
    void readOnlyProgramFolderIsSaidOnce()
    {
        if (!testdb::available())
            QSKIP(testdb::SkipReason);
        registerUser(true);
        serveList(m_http->host(), testdb::serverAddress());
        QVERIFY(writeFile(m_record, {}));
        // Everyone may enter the folders above the program's; their owner keeps writing there (an ordinary user
        // running the tests makes the next test's folders in them).
        const QString runDir = QFileInfo(m_appDir).absolutePath();
        for (const QString& folder : {m_root.path(), runDir})
            QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
        QVERIFY(testsupport::setOpenTo(m_configDir, true));
        QVERIFY(testsupport::setOpenTo(m_appDir, false));
        QVERIFY(::chmod(QFile::encodeName(m_record).constData(), 0666) == 0);
        const passwd ids = testsupport::nobody();
        for (const QString& name : QDir(m_configDir + QStringLiteral("/NorvaQuillet")).entryList(QDir::Files))
            ::chown(QFile::encodeName(m_configDir + QStringLiteral("/NorvaQuillet/") + name).constData(), ids.pw_uid,
                    ids.pw_gid);
        ::chown(QFile::encodeName(m_configDir + QStringLiteral("/NorvaQuillet")).constData(), ids.pw_uid, ids.pw_gid);

        // The default address leads nowhere: only the fetched list's database lets the user in.
        start(m_http->url(), QStringLiteral("127.0.0.1:1"), true);

        const QString caption = expectedCaption(platform::ownVersion().revision);
        QTRY_VERIFY2_WITH_TIMEOUT(hasShown(caption), qPrintable(shownLines().join(u'\n')), 60000);
        const QString message =
            QStringLiteral("프로그램 폴더에 파일을 저장할 수 없습니다 (Permission denied):\r\n") + m_appDir;
        QCOMPARE(shownLines().size(), 3);
        QVERIFY2(shownLines().constFirst().startsWith(QStringLiteral("message: ") + message),
                 qPrintable(shownLines().constFirst()));
        QCOMPARE(shownLines().mid(1), (QStringList{QStringLiteral("frmLogin"), caption}));
        QCOMPARE(appFiles(), QStringList{QStringLiteral("NorvaQuillet")});
    }

    void databaseDownEndsTheProgram()
    {
        serveList(m_http->host(), QStringLiteral("127.0.0.1:%1").arg(testsupport::closedPort()));

        start(m_http->url(), QStringLiteral("127.0.0.1:1"));

        QVERIFY(m_program->waitForFinished(60000));
        QCOMPARE(m_program->exitCode(), 0);
        QCOMPARE(shownLines(), (QStringList{QStringLiteral("frmLogin"), DatabaseDown}));
        QCOMPARE(appFiles(),
                 (QStringList{QStringLiteral("NorvaQuillet"), QStringLiteral("RendloV1.exe"),
                              QStringLiteral("Swapnik.exe"), QStringLiteral("server_address_setting.json")}));
        // The diagnostic log is off unless turned on: no folder, no file.
        QVERIFY(!QFileInfo::exists(m_stateDir));
    }

    // With the person's diagnostic log on, a run is told in its order, and no secret it met is in the log: the
    // saved and the wrong password, their hashes, the connection account's password, the DES key and the external
    // decoder's pass phrase, the login statement.
    void diagnosticLogTellsTheRunWithoutSecrets_data()
    {
        QTest::addColumn<QString>("run");
        QTest::addColumn<QStringList>("told"); // in this order
        QTest::newRow("login, a decode in the built-in mode")
            << QString()
            << QStringList{QStringLiteral("INFO  start NorvaQuillet "),
                           QStringLiteral("INFO  http GET "),
                           QStringLiteral("INFO  serverlist update server "),
                           QStringLiteral("INFO  update "),
                           QStringLiteral("INFO  db connected to "),
                           QStringLiteral("INFO  login user e2e: password accepted"),
                           QStringLiteral("INFO  decode "),
                           QStringLiteral("INFO  start the run ends")};
        QTest::newRow("login, a decode in the DES mode")
            << QStringLiteral("DES") << QStringList{QStringLiteral("INFO  decode "), QStringLiteral("(DES, ")};
        QTest::newRow("a refused update")
            << QStringLiteral("refused update")
            << QStringList{QStringLiteral("WARN  update "), QStringLiteral("INFO  login ")};
        QTest::newRow("a failed login") << QStringLiteral("wrong password")
                                        << QStringList{QStringLiteral("WARN  login user e2e: wrong password")};
    }
    void diagnosticLogTellsTheRunWithoutSecrets()
    {
        QFETCH(QString, run);
        QFETCH(QStringList, told);
        if (!testdb::available())
            QSKIP(testdb::SkipReason);
        registerUser(true);
        serveList(m_http->host(), testdb::serverAddress());
        const QString wrongPassword = QStringLiteral("틀린pw-7351");
        const QString desKey = QStringLiteral("des-key-7351");
        platform::SettingsStore settings(m_configDir + QStringLiteral("/NorvaQuillet"));
        const auto set = [&](const char* app, const char* key, const QString& value) {
            settings.write(QString::fromUtf8(app), QStringLiteral("Config"), QString::fromLatin1(key), value);
        };
        set("NorvaQuillet", "DiagnosticLog", QStringLiteral("1"));
        set("NorvaQuillet", "DesKey", desKey);
        set("NorvaQuillet", "Option1_Index", run == u"DES" ? QStringLiteral("1") : QStringLiteral("0"));
        if (run == u"wrong password")
            set("Norva 업무관리", "passwd", wrongPassword);
        if (run == u"refused update") {
            const QString newerPath = qEnvironmentVariable("ZT_NEWER_BUILD");
            if (!m_signing || newerPath.isEmpty())
                QSKIP("needs a build that verifies downloads and a newer build (scripts/test)");
            m_http->putFile(UpdatePath + QStringLiteral("NorvaQuillet_lastver.txt"),
                            QByteArray::number(platform::ownVersion().revision + 1));
            m_http->putFile(UpdatePath + QStringLiteral("NorvaQuillet"), readFile(newerPath));
            m_http->putFile(UpdatePath + QStringLiteral("NorvaQuillet.minisig"),
                            readFile(QStringLiteral(ZT_MINISIGN_FIXTURES "/payload.b.minisig")));
        }
        // The main window gets a drop of a sample, then closes.
        m_drop = QFileInfo(m_appDir).absolutePath() + QStringLiteral("/x.log");
        QVERIFY(QFile::copy(QStringLiteral(ZT_SAMPLES_DIR "/short-korean.log"), m_drop));

        start(m_http->url(), QStringLiteral("127.0.0.1:1"));
        if (run == u"wrong password") {
            QTRY_VERIFY2_WITH_TIMEOUT(hasShown(QStringLiteral("message: 암호가 잘못되었습니다.")),
                                      qPrintable(shownLines().join(u'\n')), 60000);
            m_program->kill();
        }
        QVERIFY(m_program->waitForFinished(60000));

        QString text;
        for (const QFileInfo& file : QDir(m_stateDir + QStringLiteral("/norvaquillet")).entryInfoList(QDir::Files))
            text += QString::fromUtf8(readFile(file.filePath()));
        qsizetype at = 0;
        for (const QString& step : std::as_const(told)) {
            at = text.indexOf(step, at);
            QVERIFY2(at >= 0, qPrintable(step + QStringLiteral(" not told in order:\n") + text));
        }
        QStringList secrets{Password,
                            wrongPassword,
                            desKey,
                            QStringLiteral("wrbe3%KA"),
                            QString::fromUtf16(LoginSql::AccountPassword),
                            QStringLiteral("password2"),
                            QStringLiteral("SHA1(")};
        for (const QString& password : {Password, wrongPassword}) {
            const QByteArray hash =
                QCryptographicHash::hash(support::cp949::fromUnicode(password), QCryptographicHash::Sha1).toHex();
            secrets << QString::fromLatin1(hash) << QString::fromLatin1(hash.toUpper());
        }
        for (const QString& secret : std::as_const(secrets))
            QVERIFY2(!text.contains(secret, Qt::CaseInsensitive), qPrintable(secret));
    }
};

QTEST_GUILESS_MAIN(TestStartupE2E)
#include "tst_startup_e2e.moc"
