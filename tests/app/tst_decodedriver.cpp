#include "DecodeDriver.h"
#include "DecodeLine.h"
#include "RecordingServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

// Links, FIFOs, permissions and file size limits are made with POSIX calls: those cases run on Unix only.
#ifdef Q_OS_UNIX
#include "OrdinaryUser.h"

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sched.h>
#include <sys/mount.h>
#include <sys/xattr.h>
#endif

#include <cstdio>
#include <optional>
#include <utility>

namespace {

constexpr qsizetype Block = decoder::ReadBlockSize;

// What a file should decode to: lines end at CR, CR LF or LF; each decoded line is followed by CR LF.
QByteArray expectedOutput(const QByteArray& input)
{
    QByteArray out;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < input.size()) {
        const char c = input[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        out += decoder::DecodeLine(QByteArrayView(input).sliced(start, i - start)) + "\r\n";
        i += (c == '\r' && i + 1 < input.size() && input[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (start < input.size())
        out += decoder::DecodeLine(QByteArrayView(input).sliced(start)) + "\r\n";
    return out;
}

QByteArray groups(const char* group, qsizetype count)
{
    return QByteArray(group).repeated(count);
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
}

// Each entry of dir as it stands: its name, where it links to, and its bytes.
QStringList snapshot(const QString& dir)
{
    QStringList seen;
    for (const QFileInfo& entry :
         QDir(dir).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden, QDir::Name)) {
        seen.append(entry.fileName() + QStringLiteral(" -> ") + entry.symLinkTarget() + QStringLiteral(": ") +
                    QString::fromLatin1(entry.isFile() ? testsupport::readFile(entry.filePath()).toHex() : ""));
    }
    return seen;
}

// What stands at dir's "app.sql" before a decode: an earlier output, or a link to another file (hard or symbolic) or
// to none.
bool stageOutput(const QString& dir, const QString& kind)
{
    if (kind.startsWith(u"no earlier output"))
        return true;
    if (kind.startsWith(u"earlier output"))
        return testsupport::writeFile(dir + QStringLiteral("/app.sql"), "earlier");
#ifdef Q_OS_UNIX
    const QByteArray out = QFile::encodeName(dir + QStringLiteral("/app.sql"));
    const QByteArray keep = QFile::encodeName(dir + QStringLiteral("/keep.sql"));
    if (kind == u"dangling link")
        return ::symlink("nowhere.sql", out.constData()) == 0;
    return testsupport::writeFile(QFile::decodeName(keep), "good") &&
           (kind == u"hard link" ? ::link(keep.constData(), out.constData())
                                 : ::symlink("keep.sql", out.constData())) == 0;
#else
    return false;
#endif
}

void outputKinds()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("earlier output") << QStringLiteral("earlier output");
#ifdef Q_OS_UNIX
    for (const char* kind : {"symbolic link", "hard link", "dangling link"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
#endif
}

// A second copy of the program decoding log as a drop does, held at its first progress until a line comes in (or it
// is killed): this test program, started again (main()).
class HeldDecode final
{
public:
    explicit HeldDecode(const QString& log)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZT_HELD_DECODE"), log);
        m_process.setProcessEnvironment(env);
        m_process.start(QCoreApplication::applicationFilePath(), {});
    }
    bool held() { return m_process.waitForReadyRead(30000) && m_process.readAll().trimmed() == "held"; }
    bool killed() { return m_process.kill(), m_process.waitForFinished(30000); }
    /** Its error number once it has gone on to the end, -1 when it did not get there. */
    int finished()
    {
        m_process.write("\n");
        return m_process.waitForFinished(30000) && m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode()
                                                                                                  : -1;
    }

private:
    QProcess m_process;
};

int heldDecode(const QString& log)
{
    bool held = false;
    return decoder::DecodeFile(log,
                               [&](int) {
                                   if (std::exchange(held, true))
                                       return;
                                   std::fputs("held\n", stdout);
                                   std::fflush(stdout);
                                   char line[8];
                                   static_cast<void>(std::fgets(line, sizeof line, stdin));
                               })
        .error()
        .number();
}

#ifdef Q_OS_LINUX
// What a file has of its own besides its bytes: its mode, group and access list.
QString standing(const QString& path)
{
    struct stat st
    {
    };
    QByteArray acl(1024, '\0');
    const QByteArray name = QFile::encodeName(path);
    acl.truncate(std::max<ssize_t>(::getxattr(name.constData(), "system.posix_acl_access", acl.data(), acl.size()), 0));
    return ::stat(name.constData(), &st) != 0 ? QStringLiteral("none")
                                              : QStringLiteral("mode %1 group %2 list %3")
                                                    .arg(st.st_mode & 07777, 0, 8)
                                                    .arg(st.st_gid)
                                                    .arg(QString::fromLatin1(acl.toHex()));
}

// What a file made in dir now gets.
QString standingOfNew(const QString& dir)
{
    const QString path = dir + QStringLiteral("/fresh");
    const QString fresh = testsupport::writeFile(path, "") ? standing(path) : QString();
    QFile::remove(path);
    return fresh;
}

// Sets an access list in the file system's own form (the owner rw, root r, the group r, others nothing) as the list
// of path, or as the default list of the folder path.
bool setAccessList(const QString& path, const char* which)
{
    // The version, then each entry as its tag, permissions and id, little-endian.
    const QByteArray acl = QByteArray::fromHex("02000000 01000600ffffffff 0200040000000000 04000400ffffffff "
                                               "10000400ffffffff 20000000ffffffff");
    return ::setxattr(QFile::encodeName(path).constData(), which, acl.constData(), acl.size(), 0) == 0;
}

// A 1 MiB tmpfs on dir, in a mount namespace of this process's own (root only).
bool mountSmallDisk(const QString& dir)
{
    static const bool own =
        ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return own && ::mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", 0, "size=1m") == 0;
}
#endif

} // namespace

class Tst_decodedriver final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lineEndings_data();
    void lineEndings();
    void blockBoundaries_data();
    void blockBoundaries();
    void replacesOldOutput_data();
    void replacesOldOutput();
    void outputPath_data();
    void outputPath();
    void shortNameStaysInFolder();
    void progressPercent_data();
    void progressPercent();
    void progressReachesHundred_data();
    void progressReachesHundred();
    void stopMidwayLeavesEarlierOutput();
    void refusesToOverwriteInput_data();
    void refusesToOverwriteInput();
    void failures_data();
    void failures();
    void failedRunRemovesUnfinishedOutput_data();
    void failedRunRemovesUnfinishedOutput();
};

void Tst_decodedriver::lineEndings_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("empty file") << QByteArray() << QByteArray();
    QTest::newRow("no terminator") << QByteArray("4100") << QByteArray("A\r\n");
    QTest::newRow("CR LF") << QByteArray("4100\r\n4200\r\n") << QByteArray("A\r\nB\r\n");
    QTest::newRow("CR") << QByteArray("4100\r4200\r") << QByteArray("A\r\nB\r\n");
    QTest::newRow("LF") << QByteArray("4100\n4200\n") << QByteArray("A\r\nB\r\n");
    QTest::newRow("mixed") << QByteArray("4100\r\n4200\n4300\r4400") << QByteArray("A\r\nB\r\nC\r\nD\r\n");
    QTest::newRow("empty lines CR LF") << QByteArray("\r\n\r\n") << QByteArray("\r\n\r\n");
    QTest::newRow("LF then CR is two lines") << QByteArray("\n\r") << QByteArray("\r\n\r\n");
    QTest::newRow("CR then CR LF is two lines") << QByteArray("4100\r\r\n") << QByteArray("A\r\n\r\n");
    QTest::newRow("newline group inside") << QByteArray("41000D0A4200\r\n4300") << QByteArray("A\r\nB\r\nC\r\n");
    QTest::newRow("Hangul and short last group") << QByteArray("A1B0\n41") << QByteArray("\xB0\xA1\r\nA\r\n");
    QTest::newRow("bytes 0 kept") << QByteArray("00000041\r\n") << QByteArray("\0A\r\n", 4);
}

void Tst_decodedriver::lineEndings()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("app.log"));
    QVERIFY(testsupport::writeFile(in, input));

    const platform::VbError error = decoder::DecodeFile(in).error();

    QCOMPARE(error.number(), 0);
    QFile out(dir.filePath(QStringLiteral("app.sql")));
    QVERIFY(out.exists());
    QVERIFY(out.open(QIODevice::ReadOnly));
    QCOMPARE(out.readAll(), expected);
    QCOMPARE(testsupport::readFile(in), input);
}

void Tst_decodedriver::blockBoundaries_data()
{
    QTest::addColumn<QByteArray>("input");
    // Groups count from the start of their line, so a short first line shifts where the block boundary
    // cuts the groups of the long line after it.
    for (int shift = 0; shift < 4; ++shift) {
        QTest::newRow(qPrintable(QStringLiteral("group cut after %1").arg((Block - shift - 1) % 4)))
            << QByteArray(shift, '6') + "\n" + groups("4100A1B00041", Block / 12 + 40).left(Block + 50) + "\r\n4200";
    }
    QTest::newRow("CR LF split by the boundary") << groups("4100", Block / 4).left(Block - 1) + "\r\n4200\r\n";
    QTest::newRow("CR last in block, no LF") << groups("4100", Block / 4).left(Block - 1) + "\r4200\r\n";
    QTest::newRow("LF first in block") << groups("4100", Block / 4) + "\n\n4200";
    QTest::newRow("newline group split") << "4\n" + groups("4100", (Block - 4) / 4) + "0D0A4200\r\n";
    QTest::newRow("line over three blocks")
        << "6100\r\n" + groups("A1B041000D0A0041", 3 * Block / 16 + 7) + "410\r\n4200";
    // A line from position 2: its last group before the boundary begins two characters short of it.
    const QByteArray toBoundary = "6\n" + groups("4100", (Block - 4) / 4);
    QTest::newRow("short group cut, line end right after") << toBoundary + "41\r\n4200";
    QTest::newRow("input ends at the boundary inside a group") << toBoundary + "41";
    QTest::newRow("input ends one past the boundary inside a group") << toBoundary + "410";
    QTest::newRow("two blocks exactly, CR last") << groups("4100", Block / 2).left(2 * Block - 1) + "\r";
}

void Tst_decodedriver::blockBoundaries()
{
    QFETCH(QByteArray, input);
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("big.log"));
    QVERIFY(testsupport::writeFile(in, input));

    QCOMPARE(decoder::DecodeFile(in).error().number(), 0);

    const QByteArray got = testsupport::readFile(dir.filePath(QStringLiteral("big.sql")));
    const QByteArray expected = expectedOutput(input);
    QCOMPARE(got.size(), expected.size());
    QVERIFY(got == expected);
}

void Tst_decodedriver::replacesOldOutput_data()
{
    outputKinds();
#ifdef Q_OS_LINUX
    for (const char* kind : {"earlier output, private (0600)", "earlier output of another group (0664)",
                             "earlier output with an access list", "earlier output in a folder the user may not write",
                             "no earlier output, in a shared folder (setgid, a default list)"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
#endif
    QTest::newRow("earlier output, a decode of the log killed midway")
        << QStringLiteral("earlier output, a decode of the log killed midway");
    QTest::newRow("earlier output, another program decoding the log meanwhile")
        << QStringLiteral("earlier output, another program decoding the log meanwhile");
}

// A link at the output's name is replaced as a name: the file it leads to stays as it was, or unmade. An earlier
// output's standing stays; a new one has what any new file there has.
void Tst_decodedriver::replacesOldOutput()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("app.log"));
    const QString sql = dir.filePath(QStringLiteral("app.sql"));
    QVERIFY(testsupport::writeFile(log, "4100\r\n"));
    QVERIFY(stageOutput(dir.path(), kind));
    QStringList expected = snapshot(dir.path());
    expected.removeIf([](const QString& entry) { return entry.startsWith(u"app.sql"); });
    expected.insert(1, QStringLiteral("app.sql -> : ") + QString::fromLatin1(QByteArray("A\r\n").toHex()));
#ifdef Q_OS_LINUX
    const QByteArray folder = QFile::encodeName(dir.path());
    const bool root = ::geteuid() == 0;
    const bool shut = kind.contains(u"may not write");
    if (!root && kind.contains(u"another group"))
        QSKIP("only root can give a file a group the user is not in");
    QVERIFY(!kind.contains(u"private") || ::chmod(QFile::encodeName(sql), 0600) == 0);
    QVERIFY(!kind.contains(u"another group") ||
            (::chown(QFile::encodeName(sql), 0, testsupport::nobody().pw_gid) == 0 &&
             ::chmod(QFile::encodeName(sql), 0664) == 0));
    if (kind.contains(u"list") &&
        !setAccessList(kind.contains(u"default") ? dir.path() : sql,
                       kind.contains(u"default") ? "system.posix_acl_default" : "system.posix_acl_access"))
        QSKIP("this file system keeps no access lists");
    QVERIFY(!kind.contains(u"shared folder") ||
            ((!root || ::chown(folder, 0, testsupport::nobody().pw_gid) == 0) && ::chmod(folder, 02775) == 0));
    QVERIFY(!shut || !root || ::chown(QFile::encodeName(sql), testsupport::nobody().pw_uid, 0) == 0);
    const QString kept = kind.startsWith(u"earlier output") ? standing(sql) : standingOfNew(dir.path());
    QVERIFY(!shut || ::chmod(folder, 0555) == 0);
    const auto reopen = qScopeGuard([&] { ::chmod(folder, 0700); });
    std::optional<testsupport::AsOrdinaryUser> asUser;
    if (shut)
        QVERIFY(asUser.emplace().ok());
#endif
    // Another copy of the program decodes the log: killed once it has begun, or left to end after this decode.
    std::optional<HeldDecode> other;
    if (kind.contains(u"decod"))
        QVERIFY(other.emplace(log).held());
    QVERIFY(!kind.contains(u"killed") || other->killed());

    QCOMPARE(decoder::DecodeFile(log).error().number(), 0);

    QCOMPARE(kind.contains(u"meanwhile") ? other->finished() : 0, 0);
    QCOMPARE(snapshot(dir.path()), expected);
#ifdef Q_OS_LINUX
    QCOMPARE(standing(sql), kept);
#endif
}

void Tst_decodedriver::outputPath_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    auto row = [](const char* name, const char* in, const char* out) {
        QTest::newRow(name) << QString::fromUtf8(in) << QString::fromUtf8(out);
    };
    row("log", "/d/app.log", "/d/app.sql");
    row("last four dropped whatever they are", "/d/abcdefgh", "/d/abcd.sql");
    row("five characters", "/d/a.log", "/d/a.sql");
    row("double extension", "/d/x.txt.log", "/d/x.txt.sql");
    row("sql keeps its name", "/d/q.sql", "/d/q.sql");
    row("four characters", "/d/a.lo", "/d/a.lo.sql");
    row("one character", "/d/ab/c", "/d/ab/c.sql");
    row("dot name", "/d/.log", "/d/.log.sql");
    row("relative", "a.log", "a.sql");
    row("relative short", "ab", "ab.sql");
    row("Korean name", "/d/로그파일.log", "/d/로그파일.sql");
    row("Korean short name", "/d/로그", "/d/로그.sql");
}

void Tst_decodedriver::outputPath()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(decoder::OutputPathFor(input), expected);
}

void Tst_decodedriver::shortNameStaysInFolder()
{
    // A folder with a Korean name and a blank: the files are opened and made by that name on every system.
    const QString folder = QStringLiteral("로그 폴더");
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(folder));
    const QString in = dir.filePath(folder + QStringLiteral("/ab"));
    QVERIFY(testsupport::writeFile(in, "4100"));

    QCOMPARE(decoder::DecodeFile(in).error().number(), 0);

    QCOMPARE(entries(dir.path()), QStringList{folder});
    QCOMPARE(entries(dir.filePath(folder)), (QStringList{QStringLiteral("ab"), QStringLiteral("ab.sql")}));
    QCOMPARE(testsupport::readFile(dir.filePath(folder + QStringLiteral("/ab.sql"))), QByteArray("A\r\n"));
}

void Tst_decodedriver::progressPercent_data()
{
    QTest::addColumn<qint64>("position");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<int>("expected");
    QTest::newRow("step 0") << qint64(0) << qint64(30) << 100;
    QTest::newRow("step 0 at end") << qint64(30) << qint64(30) << 100;
    QTest::newRow("start") << qint64(0) << qint64(1000) << 0;
    QTest::newRow("first block begun") << qint64(1) << qint64(12800) << 1;
    QTest::newRow("block boundary") << qint64(128) << qint64(12800) << 1;
    QTest::newRow("next block") << qint64(129) << qint64(12800) << 2;
    QTest::newRow("capped") << qint64(1000) << qint64(1000) << 100;
    QTest::newRow("step half rounds to even (2)") << qint64(128) << qint64(250) << 64;
    QTest::newRow("step half rounds to even (4)") << qint64(128) << qint64(350) << 32;
    QTest::newRow("percent half rounds down to even") << qint64(128) << qint64(25600) << 0;
    QTest::newRow("percent half rounds up to even") << qint64(384) << qint64(25600) << 2;
    QTest::newRow("beyond 2 GB") << qint64(3'000'000'000) << qint64(6'000'000'000) << 50;
}

void Tst_decodedriver::progressPercent()
{
    QFETCH(qint64, position);
    QFETCH(qint64, length);
    QFETCH(int, expected);
    QCOMPARE(decoder::ProgressPercent(position, length), expected);
}

void Tst_decodedriver::progressReachesHundred_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::newRow("30 bytes") << QByteArray("410042004300\r\n4400450046\r\n00");
    QTest::newRow("many lines") << (groups("A1B0", 60) + "\r\n").repeated(400);
    QTest::newRow("256 bytes, last line short of 100") << groups("4100", 63) + "\r\n41";
}

void Tst_decodedriver::progressReachesHundred()
{
    QFETCH(QByteArray, input);
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("app.log"));
    QVERIFY(testsupport::writeFile(in, input));
    QList<int> shown;

    QCOMPARE(decoder::DecodeFile(in, [&](int percent) { shown.append(percent); }).error().number(), 0);

    QVERIFY(!shown.isEmpty());
    QCOMPARE(shown.first(), 0);
    QCOMPARE(shown.last(), 100);
    for (qsizetype i = 1; i < shown.size(); ++i)
        QVERIFY2(shown[i] > shown[i - 1] && shown[i] <= 100, "percent only goes up, within 0..100");
    QCOMPARE(testsupport::readFile(dir.filePath(QStringLiteral("app.sql"))), expectedOutput(input));
}

void Tst_decodedriver::stopMidwayLeavesEarlierOutput()
{
    // Several blocks, so the stop comes while blocks are still to be read and written.
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("app.log"));
    const QByteArray input = (groups("4100A1B0", 500) + "\r\n").repeated(1200); // 4.8 MB
    QVERIFY(testsupport::writeFile(in, input));
    QVERIFY(testsupport::writeFile(dir.filePath(QStringLiteral("app.sql")), "earlier"));
    const QStringList before = snapshot(dir.path());
    QList<int> shown;
    int stoppedAt = -1; // the percent shown when the stop was asked for
    bool otherThread = false;
    const auto progress = [&](int percent) {
        shown.append(percent);
        otherThread = otherThread || QThread::currentThread() != thread();
    };
    const auto stopRequested = [&] {
        otherThread = otherThread || QThread::currentThread() != thread();
        if (stoppedAt < 0 && !shown.isEmpty() && shown.last() >= 40)
            stoppedAt = shown.last();
        return stoppedAt >= 0;
    };

#ifdef Q_OS_LINUX
    const auto openFiles = [] { return entries(QStringLiteral("/proc/self/fd")).size(); };
    const qsizetype openBefore = openFiles();
#endif

    const platform::VbError error = decoder::DecodeFile(in, progress, stopRequested).error();

    QCOMPARE(error.number(), platform::vberr::UserInterrupt);
#ifdef Q_OS_LINUX
    QCOMPARE(openFiles(), openBefore); // both files closed (Windows would refuse the removal below otherwise)
#endif
    QVERIFY(stoppedAt >= 40 && stoppedAt < 100);
    QVERIFY2(!otherThread, "progress and the stop question come on the caller's thread");
    QCOMPARE(shown.last(), stoppedAt);      // nothing more after the stop
    QCOMPARE(snapshot(dir.path()), before); // the earlier output stays, nothing half made is left
}

void Tst_decodedriver::refusesToOverwriteInput_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::newRow("same name") << QStringLiteral("query.sql") << QString();
#ifdef Q_OS_UNIX
    QTest::newRow("output is a symlink to the input") << QStringLiteral("app.log") << QStringLiteral("symlink");
    QTest::newRow("output is a hard link to the input") << QStringLiteral("app.log") << QStringLiteral("hardlink");
    QTest::newRow("input is a symlink to the output") << QStringLiteral("app.log") << QStringLiteral("reverse");
#endif
}

void Tst_decodedriver::refusesToOverwriteInput()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QByteArray content("4100\r\n4200\r\n");
    const QString in = dir.filePath(name);
    const QString out = decoder::OutputPathFor(in);
    QVERIFY(testsupport::writeFile(kind == QStringLiteral("reverse") ? out : in, content));
#ifdef Q_OS_UNIX
    const QByteArray inName = QFile::encodeName(in);
    const QByteArray outName = QFile::encodeName(out);
    if (kind == QStringLiteral("reverse"))
        QCOMPARE(::symlink(outName.constData(), inName.constData()), 0);
    else if (kind == QStringLiteral("symlink"))
        QCOMPARE(::symlink(inName.constData(), outName.constData()), 0);
    else if (kind == QStringLiteral("hardlink"))
        QCOMPARE(::link(inName.constData(), outName.constData()), 0);
#endif
    const QStringList before = entries(dir.path());

    const platform::VbError error = decoder::DecodeFile(in).error();

    QCOMPARE(error.number(), platform::vberr::FileAlreadyOpen);
    QCOMPARE(error.description(), QStringLiteral("File already open"));
    QCOMPARE(testsupport::readFile(in), content);
    QCOMPARE(entries(dir.path()), before);
}

void Tst_decodedriver::failures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("description");
    QTest::newRow("missing file") << QStringLiteral("missing") << 53 << QStringLiteral("File not found");
    QTest::newRow("missing folder") << QStringLiteral("nofolder") << 76 << QStringLiteral("Path not found");
    QTest::newRow("a folder") << QStringLiteral("folder") << 75 << QStringLiteral("Path/File access error");
    QTest::newRow("output name is a folder")
        << QStringLiteral("outfolder") << 75 << QStringLiteral("Path/File access error");
    QTest::newRow("the user's own output, read-only")
        << QStringLiteral("readonly") << 70 << QStringLiteral("Permission denied");
#ifdef Q_OS_UNIX
    QTest::newRow("a FIFO") << QStringLiteral("fifo") << 75 << QStringLiteral("Path/File access error");
    QTest::newRow("unreadable file") << QStringLiteral("unreadable") << 70 << QStringLiteral("Permission denied");
    QTest::newRow("read fails") << QStringLiteral("readfails") << 57 << QStringLiteral("Device I/O error");
    QTest::newRow("another's output where anyone may add files (1777): not replaceable")
        << QStringLiteral("sticky") << 70 << QStringLiteral("Permission denied");
    QTest::newRow("another's output the user may not write (0644)")
        << QStringLiteral("another's") << 70 << QStringLiteral("Permission denied");
#endif
}

void Tst_decodedriver::failures()
{
    QFETCH(QString, kind);
    QFETCH(int, number);
    QFETCH(QString, description);
    QTemporaryDir dir;
    QString in = dir.filePath(QStringLiteral("app.log"));
    const QByteArray content("4100\r\n");
#ifdef Q_OS_UNIX
    std::optional<testsupport::AsOrdinaryUser> asUser;
#endif

    if (kind == QStringLiteral("missing")) {
        // nothing there
    } else if (kind == QStringLiteral("nofolder")) {
        in = dir.filePath(QStringLiteral("gone/app.log"));
    } else if (kind == QStringLiteral("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("app.log")));
    } else if (kind == QStringLiteral("outfolder")) {
        QVERIFY(testsupport::writeFile(in, content));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("app.sql")));
    } else if (kind == QStringLiteral("readonly") || kind == QStringLiteral("another's")) {
        // In a folder the user may write: only the file itself refuses.
        const QString out = dir.filePath(QStringLiteral("app.sql"));
        QVERIFY(testsupport::writeFile(in, content) && testsupport::writeFile(out, "earlier"));
        QVERIFY(QFile::setPermissions(out, kind == QStringLiteral("readonly")
                                               ? QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther
                                               : QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                     QFile::ReadOther));
#ifdef Q_OS_UNIX
        if (::geteuid() != 0 && kind != QStringLiteral("readonly"))
            QSKIP("only root can leave another account's file in the folder");
        QVERIFY(kind != QStringLiteral("readonly") || ::geteuid() != 0 ||
                ::chown(QFile::encodeName(out).constData(), testsupport::nobody().pw_uid, 0) == 0);
        QVERIFY(testsupport::setOpenTo(dir.path(), true));
        QVERIFY(asUser.emplace().ok());
#endif
#ifdef Q_OS_UNIX
    } else if (kind == QStringLiteral("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(in).constData(), 0600), 0);
    } else if (kind == QStringLiteral("unreadable")) {
        if (::geteuid() == 0)
            QSKIP("root reads files whatever their permissions");
        QVERIFY(testsupport::writeFile(in, content));
        QCOMPARE(::chmod(QFile::encodeName(in).constData(), 0), 0);
    } else if (kind == QStringLiteral("readfails")) {
        // A file whose reading fails at once: this process's memory at address 0.
        if (!QFile::exists(QStringLiteral("/proc/self/mem")))
            QSKIP("no /proc here");
        QCOMPARE(::symlink("/proc/self/mem", QFile::encodeName(in).constData()), 0);
    } else if (kind == QStringLiteral("sticky")) {
        // The user may make the new file there, but not rename it over root's.
        if (::geteuid() != 0)
            QSKIP("only root can leave another account's file in the folder");
        QVERIFY(testsupport::writeFile(in, content));
        QVERIFY(testsupport::writeFile(dir.filePath(QStringLiteral("app.sql")), "earlier"));
        QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 01777), 0);
        asUser.emplace();
        QVERIFY(asUser->ok());
#endif
    }
    const QStringList before = snapshot(dir.path());

    const platform::VbError error = decoder::DecodeFile(in).error();

#ifdef Q_OS_UNIX
    asUser.reset();
#endif
    QCOMPARE(error.number(), number);
    QCOMPARE(error.description(), description);
    QCOMPARE(snapshot(dir.path()), before); // the input, and whatever had the output's name, as they were
    QCOMPARE(platform::errorReportText(error, QStringLiteral("Decrypt"), platform::ReportOwner::Form,
                                       QStringLiteral("frmMain")),
             QStringLiteral("Error %1 (%2) in procedure Decrypt of Form frmMain").arg(number).arg(description));

    // Nothing stays behind to spoil the next file of a batch.
    const QString next = dir.filePath(QStringLiteral("next.log"));
    QVERIFY(testsupport::writeFile(next, content));
    QCOMPARE(decoder::DecodeFile(next).error().number(), 0);
    QCOMPARE(testsupport::readFile(dir.filePath(QStringLiteral("next.sql"))), QByteArray("A\r\n"));
}

void Tst_decodedriver::failedRunRemovesUnfinishedOutput_data()
{
    outputKinds();
}

// The disk fills up part way through the new file: whatever had the output's name stays as it was (the file a link
// leads to too), and nothing cut short is left.
void Tst_decodedriver::failedRunRemovesUnfinishedOutput()
{
#ifndef Q_OS_LINUX
    QSKIP("the disk is made to fill up by a tmpfs or a POSIX file size limit");
#else
    QFETCH(QString, kind);
    // 800 kB in, 300 kB out: on a 1 MiB disk (as root), or under a file size limit of 64 KiB, the output is cut.
    QTemporaryDir dir;
    const bool smallDisk = ::geteuid() == 0;
    QVERIFY(!smallDisk || mountSmallDisk(dir.path()));
    const auto unmount = qScopeGuard([&] {
        if (smallDisk)
            ::umount2(QFile::encodeName(dir.path()).constData(), 0);
    });
    const QString in = dir.filePath(QStringLiteral("app.log"));
    const QByteArray input = (groups("4100A1B0", 250) + "\r\n").repeated(400);
    QVERIFY(testsupport::writeFile(in, input));
    QVERIFY(stageOutput(dir.path(), kind));
    const QStringList before = snapshot(dir.path());
    struct rlimit old
    {
    };
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit limited = old;
    limited.rlim_cur = 64 * 1024;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QVERIFY(smallDisk || ::setrlimit(RLIMIT_FSIZE, &limited) == 0);

    decoder::UnremovedFile unremoved;
    const platform::VbError error = decoder::DecodeFile(in, {}, {}, &unremoved).error();

    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QCOMPARE(error.number(), platform::vberr::DiskFull);
    QVERIFY(unremoved.path.isEmpty());
    QCOMPARE(snapshot(dir.path()), before);
#endif
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (const QString log = qEnvironmentVariable("ZT_HELD_DECODE"); !log.isEmpty())
        return heldDecode(log);
    Tst_decodedriver test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_decodedriver.moc"
