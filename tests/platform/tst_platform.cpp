#include "DatabaseTlsPolicy.h"
#include "FolderAccess.h"
#include "LongPath.h"
#include "MachineIdentity.h"
#include "Processes.h"
#include "RawFile.h"
#include "RecordingServices.h"
#include "SettingsStore.h"
#include "StoredSecret.h"
#include "UserDataProtection.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include "OrdinaryUser.h"
#endif

using platform::DatabaseTls;
using platform::NetworkAdapter;
Q_DECLARE_METATYPE(QList<NetworkAdapter>)
Q_DECLARE_METATYPE(platform::FolderTrial)
Q_DECLARE_METATYPE(platform::RawFile::NameStep)

namespace {

NetworkAdapter nic(const char* mac, int index, NetworkAdapter::Medium medium = NetworkAdapter::Medium::Wired)
{
    return {QString::fromLatin1(mac), true, false, true, medium, index};
}

NetworkAdapter down(NetworkAdapter adapter)
{
    adapter.up = false;
    return adapter;
}

} // namespace

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

    // Adapters as the system lists them: which addresses identify this PC, best first.
    void macCandidatesRanked_data()
    {
        using Medium = NetworkAdapter::Medium;
        QTest::addColumn<QList<NetworkAdapter>>("adapters");
        QTest::addColumn<QString>("ranked");
        const NetworkAdapter onboard = nic("3c:52:82:00:00:01", 7);
        const NetworkAdapter wifi = nic("A4:C3:F0:00:00:02", 3, Medium::Wireless);
        const NetworkAdapter virtualBox = nic("08:00:27:00:00:0C", 4);
        const NetworkAdapter tap = nic("00:FF:6A:00:00:05", 1);
        const NetworkAdapter peer = nic("02:00:00:00:00:0A", 11);
        NetworkAdapter loopback = nic("00:00:00:00:00:00", 1);
        loopback.loopback = true;
        NetworkAdapter noAddress = nic("3C:52:82:00:00:09", 5);
        noAddress.hasAddress = false;

        QTest::newRow("dock, laptop's own port unplugged") << QList{wifi, down(onboard), nic("00:E0:4C:00:00:03", 21)}
                                                           << QStringLiteral("00:E0:4C:00:00:03 A4:C3:F0:00:00:02");
        QTest::newRow("VirtualBox host-only and local peers listed first")
            << QList{nic("0A:00:27:00:00:0B", 2), peer, virtualBox, nic("02:00:00:00:00:0B", 10), onboard}
            << QStringLiteral("3C:52:82:00:00:01 08:00:27:00:00:0C 02:00:00:00:00:0B 02:00:00:00:00:0A "
                              "0A:00:27:00:00:0B");
        QTest::newRow("Hyper-V switch with a lower index")
            << QList{nic("00:15:5D:00:00:04", 2), onboard} << QStringLiteral("3C:52:82:00:00:01 00:15:5D:00:00:04");
        QTest::newRow("VPN up") << QList{tap, wifi} << QStringLiteral("A4:C3:F0:00:00:02 00:FF:6A:00:00:05");
        QTest::newRow("VPN down") << QList{down(tap), wifi} << QStringLiteral("A4:C3:F0:00:00:02");
        QTest::newRow("only virtual adapters") << QList{peer, nic("00:50:56:C0:00:08", 9), virtualBox}
                                               << QStringLiteral("08:00:27:00:00:0C 00:50:56:C0:00:08 "
                                                                 "02:00:00:00:00:0A");
        QTest::newRow("bridge over the onboard port: one address")
            << QList{onboard, nic("3C:52:82:00:00:01", 12)} << QStringLiteral("3C:52:82:00:00:01");
        QTest::newRow("no adapter: loopback, no IP address, tunnel, all zero")
            << QList{loopback, noAddress, nic("00-00-00-00-00-00-00-E0", 6), nic("00:00:00:00:00:00", 8)} << QString();
    }
    void macCandidatesRanked()
    {
        QFETCH(QList<NetworkAdapter>, adapters);
        QFETCH(QString, ranked);
        QCOMPARE(platform::rankMacCandidates(adapters).join(u' '), ranked);
        // The order the system lists them in does not matter.
        std::reverse(adapters.begin(), adapters.end());
        QCOMPARE(platform::rankMacCandidates(adapters).join(u' '), ranked);
    }

    void extendedLengthPaths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* path, const char* expected) {
            QTest::newRow(name) << QString::fromUtf8(path) << QString::fromUtf8(expected);
        };
        row("drive path", R"(C:\로그\a.log)", R"(\\?\C:\로그\a.log)");
        row("Qt's separators", "C:/Users/kim/로그 폴더/a.log", R"(\\?\C:\Users\kim\로그 폴더\a.log)");
        row("drive root", "d:/", R"(\\?\d:\)");
        row("dots and doubled separators", R"(C:\a\.\b\\..\c\)", R"(\\?\C:\a\c)");
        row("'..' stops at the drive", R"(C:\..\..\a.log)", R"(\\?\C:\a.log)");
        row("share", R"(\\fs01\logs\2024\a.log)", R"(\\?\UNC\fs01\logs\2024\a.log)");
        row("share, Qt's separators", "//fs01/logs/a.log", R"(\\?\UNC\fs01\logs\a.log)");
        row("'..' stops at the share", R"(\\fs01\logs\..\..\a.log)", R"(\\?\UNC\fs01\logs\a.log)");
        // Trimmed as the system trims before it opens a path, which the "\\?\" form would not do.
        row("period ending the name", R"(C:\logs\a.log.)", R"(\\?\C:\logs\a.log)");
        row("period ending a folder", R"(C:\logs.\a.log)", R"(\\?\C:\logs\a.log)");
        row("periods and blanks ending the name", R"(C:\logs\a.log. . )", R"(\\?\C:\logs\a.log)");
        row("blank ending a folder, three periods", R"(C:\logs \...\a.log)", R"(\\?\C:\logs \...\a.log)");
        row("separator after a blank", R"(C:\logs \)", R"(\\?\C:\logs )");
        row("the prefix with '/' is normalised", "//?/C:/a/../x.log.", R"(\\?\C:\x.log)");
        row("already extended", R"(\\?\C:\a\..\b)", R"(\\?\C:\a\..\b)");
        row("device", R"(\\.\COM1)", R"(\\.\COM1)");
        row("relative", R"(logs\a.log)", R"(logs\a.log)");
        row("drive-relative", "C:a.log", "C:a.log");
        row("root of the current drive", R"(\logs\a.log)", R"(\logs\a.log)");
        row("server without a share", R"(\\fs01)", R"(\\fs01)");
        row("empty", "", "");
    }
    void extendedLengthPaths()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(platform::extendedLengthPath(path), expected);
    }

    // What has a download's final name, by its Windows attributes: a junction goes so that the name can take the
    // file (never what it leads to); a real folder stays.
    void nameStepForWhatHasTheName_data()
    {
        QTest::addColumn<quint32>("attributes");
        QTest::addColumn<platform::RawFile::NameStep>("step");
        QTest::newRow("nothing") << 0xFFFFFFFFu << platform::RawFile::NameStep::Rename;
        QTest::newRow("read-only file") << 0x21u << platform::RawFile::NameStep::Rename;
        QTest::newRow("link to a file") << 0x420u << platform::RawFile::NameStep::Rename;
        QTest::newRow("junction") << 0x410u << platform::RawFile::NameStep::RemoveLinkFirst;
        QTest::newRow("folder") << 0x10u << platform::RawFile::NameStep::Refuse;
    }
    void nameStepForWhatHasTheName()
    {
        QFETCH(quint32, attributes);
        QFETCH(platform::RawFile::NameStep, step);
        QCOMPARE(platform::RawFile::nameStepFor(attributes), step);
    }

    // On Windows only the extended-length form reaches a file this deep (Wine does not enforce the limit).
    void filesBeyond260Characters()
    {
        QTemporaryDir dir;
        QString folder = dir.path();
        while (folder.size() <= 300)
            folder += QStringLiteral("/깊은 폴더 0123456789");
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/a.log");
        platform::RawFile out;
        QVERIFY(out.openWrite(path));
        QVERIFY(out.writeAll("x", 1));
        QVERIFY(out.close());
        QVERIFY(platform::RawFile::replace(path, path + QStringLiteral(".sql")));
        QVERIFY(platform::RawFile::identityOf(path + QStringLiteral(".sql")));
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

    // A program started to run on its own gets its arguments as given, never through a shell, and holds none of
    // this test's standard handles: a runner that waits for them to close (ctest, a console) would wait for it too.
    void detachedProgramGetsArgumentsAsGivenAndNoStandardHandle()
    {
        QTemporaryDir dir;
        const QString tool = dir.filePath(QStringLiteral("도구 폴더/Palvex.exe"));
        QVERIFY(testsupport::installRecorder(tool, "stdio\n"));
        const QString tricky = QStringLiteral("a b;$(touch x)`y`\"'\\\"%PATH%한글.log");
        QVERIFY(platform::startDetached(tool, {tricky, QStringLiteral("wrbe3%KA")}, dir.path()));
        QTRY_COMPARE(testsupport::recordedRuns(tool), QList<QByteArray>{"2\n" + tricky.toUtf8() + "\nwrbe3%KA\n"});
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("x"))));
        const QStringList records = QFileInfo(tool).dir().entryList({QStringLiteral("Palvex.exe.*.stdio")});
        QCOMPARE(records.size(), 1);
        for (const QByteArray& kind : testsupport::readFile(tool.section(u'/', 0, -2) + u'/' + records[0]).split('\n'))
            QVERIFY2(kind.isEmpty() || kind == "/dev/null" || kind == "0" || kind == "2", kind.constData());
    }

    // A remembered password as read back, where only what carries "ok:" opens: the classic program's plain values
    // stay usable; marked ones that cannot be opened here are no password at all.
    void storedSecretJudged_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        using Kind = platform::StoredSecretKind;
        QTest::newRow("plain") << QStringLiteral("a{DPAPI}'\\") << int(Kind::Plain) << QStringLiteral("a{DPAPI}'\\");
        const auto protect = [](const QByteArray& b) { return std::optional("ok:" + b); };
        const auto fails = [](const QByteArray&) { return std::optional<QByteArray>(); };
        QTest::newRow("protected") << platform::sealSecret(QStringLiteral("비밀"), protect) << int(Kind::Protected)
                                   << QStringLiteral("비밀");
        QTest::newRow("erased") << platform::sealSecret(QString(), protect) << int(Kind::Plain) << QString();
        QTest::newRow("protection failed")
            << platform::sealSecret(QStringLiteral("x"), fails) << int(Kind::Plain) << QString();
        QTest::newRow("another account or PC") << QStringLiteral("{DPAPI}eHg6") << int(Kind::Unreadable) << QString();
        QTest::newRow("not base64") << QStringLiteral("{DPAPI}*") << int(Kind::Unreadable) << QString();
        QTest::newRow("not UTF-8 inside") << QStringLiteral("{DPAPI}b2s6/w==") << int(Kind::Unreadable) << QString();
    }
    void storedSecretJudged()
    {
        QFETCH(QString, stored);
        QFETCH(int, kind);
        QFETCH(QString, text);
        const auto unprotect = [](const QByteArray& b) {
            return b.startsWith("ok:") ? std::optional(b.mid(3)) : std::nullopt;
        };
        const platform::OpenedSecret opened = platform::openStoredSecret(stored, unprotect);
        QCOMPARE(int(opened.kind), kind);
        QCOMPARE(opened.text, text);
    }

    // With the system's protection (Windows) the value round-trips hidden and a damaged one does not open;
    // elsewhere it is kept as it is, in the owner-only file.
    void secretKeptForTheUser()
    {
        const QString secret = QStringLiteral("비밀'\\pw");
        const QString stored = platform::storedFormOfSecret(secret);
        QCOMPARE(platform::readStoredSecret(stored).text, secret);
        QCOMPARE(stored == secret, !platform::userDataProtectionAvailable());
        if (stored != secret) {
            QVERIFY(stored.startsWith(u"{DPAPI}") && !stored.contains(secret));
            QString damaged = stored;
            damaged[damaged.size() - 8] = damaged[damaged.size() - 8] == u'A' ? u'B' : u'A';
            QCOMPARE(platform::readStoredSecret(damaged).kind, platform::StoredSecretKind::Unreadable);
        }
    }

    void databaseTlsParsed_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<DatabaseTls>("mode");
        QTest::newRow("absent") << QString() << DatabaseTls::Prefer;
        QTest::newRow("require") << QStringLiteral("require") << DatabaseTls::Require;
        QTest::newRow("verify") << QStringLiteral("verify") << DatabaseTls::Verify;
        QTest::newRow("odd case, blanks around") << QStringLiteral("  VeRiFY\t") << DatabaseTls::Verify;
        QTest::newRow("unknown: not understood") << QStringLiteral("strict") << DatabaseTls::Require;
        QTest::newRow("near miss: not understood") << QStringLiteral("verify;") << DatabaseTls::Require;
    }
    void databaseTlsParsed()
    {
        QFETCH(QString, raw);
        QFETCH(DatabaseTls, mode);
        QCOMPARE(platform::parseDatabaseTls(raw).value_or(DatabaseTls::Require), mode);
    }

    // The reader at a place of the test's own: a file on Linux (only root's are trusted with a CA file), a key of
    // the current user's on Windows (tests do not write the machine's policy; the CA is the machine's store).
    void machinePolicyRead_data()
    {
        QTest::addColumn<QByteArray>("tls");
        QTest::addColumn<int>("fileMode");
        QTest::addColumn<int>("caMode");
        QTest::addColumn<bool>("caKept");
        QTest::newRow("nothing there") << QByteArray() << 0 << 0 << false;
        QTest::newRow("verify with a CA file") << QByteArray("Verify") << 0644 << 0644 << true;
        QTest::newRow("a policy file anyone may change: refused") << QByteArray("verify") << 0666 << 0644 << false;
        QTest::newRow("a CA file anyone may change: refused") << QByteArray("verify") << 0644 << 0666 << false;
    }
    void machinePolicyRead()
    {
        QFETCH(QByteArray, tls);
        QFETCH(int, fileMode);
        QFETCH(int, caMode);
        QFETCH(bool, caKept);
        QTemporaryDir dir;
        const QString ca = dir.filePath(QStringLiteral("ca.pem"));
#ifdef Q_OS_WIN
        const QString location = QStringLiteral("HKEY_CURRENT_USER\\Software\\ZT tests\\NorvaQuillet");
        QSettings key(location, QSettings::NativeFormat);
        key.clear();
        if (!tls.isNull())
            key.setValue(QStringLiteral("DatabaseTls"), QString::fromLatin1(tls));
        key.sync();
        const platform::DatabaseTlsPolicy policy = platform::readDatabaseTlsPolicy(location);
        key.clear();
        Q_UNUSED(fileMode);
        Q_UNUSED(caMode);
        caKept = false;
        const bool refused = false;
#else
        const QString location = dir.filePath(QStringLiteral("policy.conf"));
        QVERIFY(
            testsupport::writeFile(ca, "") && ::chmod(QFile::encodeName(ca), mode_t(caMode)) == 0 &&
            (tls.isNull() || (testsupport::writeFile(location, "# a comment\r\ndatabasetls = " + tls +
                                                                   "\r\nDatabaseTlsCaFile=" + QFile::encodeName(ca)) &&
                              ::chmod(QFile::encodeName(location), mode_t(fileMode)) == 0)));
        const platform::DatabaseTlsPolicy policy = platform::readDatabaseTlsPolicy(location);
        caKept = caKept && ::geteuid() == 0;
        // Never the system's bundle in the place of a CA file that cannot be trusted.
        const bool refused = !tls.isNull() && !caKept;
        QVERIFY2(!refused || policy.refusal.contains(ca), qPrintable(policy.refusal));
#endif
        QCOMPARE(policy.mode, tls.isNull() ? DatabaseTls::Prefer : DatabaseTls::Verify);
        QCOMPARE(policy.caFile, caKept ? ca : QString());
        QCOMPARE(policy.refusal.isEmpty(), !refused);
        QVERIFY(policy.notice.isEmpty());
    }

    // The policy file as IT might leave it: what the reader makes of it, whether host may be dialled, and what the
    // notice says.
    void policyFileRead_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: a FIFO
        QTest::addColumn<QString>("host");
        QTest::addColumn<DatabaseTls>("mode");
        QTest::addColumn<bool>("allowed");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<platform::PolicySwitch>("log");
        const auto row = [](const char* name, const QByteArray& content, const char* host, DatabaseTls mode,
                            bool allowed, const char* notice,
                            platform::PolicySwitch log = platform::PolicySwitch::NotSet) {
            QTest::newRow(name) << content << QString::fromUtf8(host) << mode << allowed << QString::fromUtf8(notice)
                                << log;
        };
        using enum DatabaseTls;
        row("a comment after the value", "DatabaseTls = verify   # ticket 42\n", "db", Verify, true, "");
        row("UTF-16, as Windows saves it",
            "\xFF\xFE" + QByteArray::fromRawData(reinterpret_cast<const char*>(u"DatabaseTls=verify\r\n"), 40), "db",
            Verify, true, "");
        row("70 KB of comments first", QByteArray("# comment\n").repeated(7200) + "DatabaseTls = verify", "db", Verify,
            true, "");
        row("misspelt", "DatabaseTls = verfiy", "db", Require, true, "policy.conf 1번째 줄: DatabaseTls = \"verfiy\"");
        row("a colon for the equals sign", "DatabaseTls: verify", "db", Require, true,
            "policy.conf 1번째 줄: DatabaseTls: verify");
        row("a FIFO in its place", QByteArray(), "db", Require, true, "policy.conf: 보통 파일이 아닙니다");
        row("hosts listed, in another case", "DatabaseHosts = db1.corp; DB2.corp. ;", "db2.CORP", Prefer, true, "");
        row("a bracketed IPv6 address listed", "DatabaseHosts = ::1", "[::1]", Prefer, true, "");
        row("a host not listed", "DatabaseHosts = db1.corp", "evil.example", Prefer, false, "");
        row("hosts not understood refuse", "DatabaseHosts = db1.corp, db2.corp", "db1.corp", Require, false,
            "policy.conf 1번째 줄: DatabaseHosts");
        row("a pin: TLS", "DatabaseTlsFingerprint = aa95cb315e48dcb8fea963a9e9fc90e24f847ea9", "db", Require, true, "");
        row("a pin not understood refuses", "DatabaseTlsFingerprint = AA:95", "db", Require, false,
            "policy.conf 1번째 줄: DatabaseTlsFingerprint");
        row("the diagnostic log on", "diagnosticlog = 1", "db", Prefer, true, "", platform::PolicySwitch::On);
        row("the diagnostic log off", "DiagnosticLog=0", "db", Prefer, true, "", platform::PolicySwitch::Off);
        row("the diagnostic log switch not understood", "DiagnosticLog = yes", "db", Require, true,
            "policy.conf 1번째 줄: DiagnosticLog = \"yes\"");
    }
    void policyFileRead()
    {
#ifdef Q_OS_WIN
        QSKIP("the policy file is Linux's");
#else
        QFETCH(QByteArray, content);
        QFETCH(QString, host);
        QFETCH(DatabaseTls, mode);
        QFETCH(bool, allowed);
        QFETCH(QString, notice);
        QFETCH(platform::PolicySwitch, log);
        QTemporaryDir dir;
        const QString location = dir.filePath(QStringLiteral("policy.conf"));
        QVERIFY(content.isNull() ? ::mkfifo(QFile::encodeName(location), 0644) == 0
                                 : testsupport::writeFile(location, content));
        const platform::DatabaseTlsPolicy policy = platform::readDatabaseTlsPolicy(location);
        QCOMPARE(policy.mode, mode);
        QCOMPARE(policy.diagnosticLog, log);
        QVERIFY2(notice.isEmpty() ? policy.notice.isEmpty() : policy.notice.contains(notice),
                 qPrintable(policy.notice));
        const QString refusal = platform::databaseConnectionRefusal(policy, host);
        QVERIFY2(refusal.isEmpty() == allowed, qPrintable(refusal));
        QVERIFY(allowed || !notice.isEmpty() || refusal.contains(host));
#endif
    }

    void judgeFolderTrial_data()
    {
        QTest::addColumn<platform::FolderTrial>("trial");
        QTest::addColumn<int>("error");
        namespace vberr = platform::vberr;
        using platform::FolderTrial;
        const auto made = [](int error) { return FolderTrial{platform::makeVbError(error), {}, {}}; };
        QTest::newRow("file made and removed, nothing to replace") << FolderTrial{} << 0;
        QTest::newRow("refused: rights, read-only medium") << made(vberr::PermissionDenied) << 70;
        QTest::newRow("disk full") << made(vberr::DiskFull) << 61;
        QTest::newRow("folder gone: path not found (Windows)") << made(vberr::PathNotFound) << 76;
        QTest::newRow("folder gone: no such file (POSIX)") << made(vberr::FileNotFound) << 53;
        QTest::newRow("device failing") << made(vberr::DeviceIoError) << 57;
        QTest::newRow("unclassified") << made(vberr::PathFileAccessError) << 0;
        QTest::newRow("made, not removed: files can be made there, not deleted")
            << FolderTrial{{}, platform::makeVbError(vberr::PathFileAccessError), {}} << 75;
    }
    void judgeFolderTrial()
    {
        QFETCH(platform::FolderTrial, trial);
        QFETCH(int, error);
        QCOMPARE(platform::judgeFolderTrial(trial).number(), error);
    }

    // What the update of RendloV1.exe meets, staged for real, as an ordinary user meets it; the trial judges it as
    // the download's save then finds it.
    void folderTrialAsAnOrdinaryUser_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("tool"); // what stands at RendloV1.exe
        QTest::addColumn<int>("error");
        const auto row = [](const char* name, int mode, const char* tool, int error) {
            QTest::newRow(name) << mode << QString::fromLatin1(tool) << error;
        };
        using namespace platform::vberr;
        row("writable, the user's own file", 0777, "own", 0);
        row("read-only", 0555, "", PermissionDenied);
        row("anyone may add files, none there yet (1777)", 01777, "", 0);
        row("anyone may add files, but root's stay root's (1777)", 01777, "root's", PermissionDenied);
        row("a helper file owned by root (after a run under sudo)", 0777, "root's", PermissionDenied);
        row("a file without write permission", 0777, "read-only", PermissionDenied);
        row("a symbolic link into a folder the user cannot write", 0777, "link", PermissionDenied);
        row("a directory where the program file should be", 0777, "directory", PathFileAccessError);
        row("an immutable file", 0777, "immutable", PermissionDenied);
        row("an append-only file", 0777, "append-only", PermissionDenied);
        row("files can be made, but not deleted", 0777, "append-only folder", PermissionDenied);
    }
    void folderTrialAsAnOrdinaryUser()
    {
#ifdef Q_OS_UNIX
        QFETCH(int, mode);
        QFETCH(QString, tool);
        QFETCH(int, error);
        const bool root = ::geteuid() == 0;
        if (!root && (tool == u"root's" || tool == u"link" || tool == u"immutable" || tool.startsWith(u"append")))
            QSKIP("only root can stage another account's file, a link it cannot follow or a file flag");
        QTemporaryDir base;
        const QString folder = base.filePath(QStringLiteral("program"));
        const QString other = base.filePath(QStringLiteral("root's"));
        QVERIFY(QDir().mkdir(folder) && QDir().mkdir(other));
        const QString path = folder + QStringLiteral("/RendloV1.exe");
        // What stands there is the user's, unless it is root's; a link leads into root's folder.
        const QString made = tool == u"link" ? other + QStringLiteral("/RendloV1.exe") : path;
        QVERIFY(tool != u"directory" ? tool.isEmpty() || testsupport::writeFile(made, "before") : QDir().mkdir(path));
        QVERIFY(tool.isEmpty() || tool == u"root's" || !root ||
                ::chown(QFile::encodeName(made).constData(), testsupport::nobody().pw_uid,
                        testsupport::nobody().pw_gid) == 0);
        QVERIFY(tool != u"link" || QFile::link(made, path));
        QVERIFY(tool != u"read-only" || ::chmod(QFile::encodeName(path).constData(), 0444) == 0);
        const QStringList staged = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QVERIFY(testsupport::setOpenTo(base.path(), false) && testsupport::setOpenTo(other, false) &&
                ::chmod(QFile::encodeName(folder), mode_t(mode)) == 0);
        const bool flagged = tool == u"immutable" || tool == u"append-only";
        const auto setFlag = [&](bool on) {
            return flagged ? testsupport::setInodeFlag(path, tool == u"immutable" ? 'i' : 'a', on)
                           : tool != u"append-only folder" || testsupport::setInodeFlag(folder, 'a', on);
        };
        QVERIFY(setFlag(true));

        platform::FolderWriteBlock block;
        QStringList after;
        bool saved = false;
        {
            const testsupport::AsOrdinaryUser asUser;
            QVERIFY(asUser.ok());
            block = platform::folderWriteBlock(folder, {QStringLiteral("RendloV1.exe"), QStringLiteral("Gone.exe")});
            after = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
            QSaveFile save(path);
            saved = save.open(QIODevice::WriteOnly) && save.write("new", 3) == 3 && save.commit();
        }
        QVERIFY(setFlag(false));
        QVERIFY(testsupport::setOpenTo(base.path(), true) && testsupport::setOpenTo(folder, true) &&
                testsupport::setOpenTo(other, true));

        QCOMPARE(block.cause.number(), error);
        QCOMPARE(block.cause.source() == path, error && !tool.isEmpty() && tool != u"append-only folder");
        QVERIFY(!flagged || block.cause.description().endsWith(QStringLiteral("the file is ") + tool)); // the reason
        // Nothing there changed, and a trial file that could not be removed is named.
        QCOMPARE(block.trialFileLeft.isEmpty(), tool != u"append-only folder");
        QVERIFY(block.trialFileLeft.isEmpty() || after.removeOne(QFileInfo(block.trialFileLeft).fileName()));
        QCOMPARE(after, staged);
        QCOMPARE(saved, error == 0); // the update meets what the trial said
#else
        QSKIP("an ordinary user's refusal is tried on Linux; a Wine prefix of root's passes every permission");
#endif
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
