// The diagnostic log on real folders: its switch, its cap, what it leaves out, and that it never stops the program.
#include "DiagnosticLog.h"
#include "LogCategories.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#ifdef Q_OS_UNIX
#include "OrdinaryUser.h"

#include <csignal>
#include <sys/resource.h>
#endif

using platform::PolicySwitch;
Q_DECLARE_METATYPE(platform::PolicySwitch)

class TestDiagnosticLog final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void switchedOn_data()
    {
        QTest::addColumn<PolicySwitch>("policy");
        QTest::addColumn<QString>("own");
        QTest::addColumn<bool>("on");
        QTest::newRow("nothing set") << PolicySwitch::NotSet << QString() << false;
        QTest::newRow("the person's 0") << PolicySwitch::NotSet << QStringLiteral("0") << false;
        QTest::newRow("the person's 1") << PolicySwitch::NotSet << QStringLiteral(" 1 ") << true;
        QTest::newRow("the person's other text") << PolicySwitch::NotSet << QStringLiteral("yes") << false;
        QTest::newRow("IT's 1") << PolicySwitch::On << QStringLiteral("0") << true;
        QTest::newRow("IT's 0 over the person's 1") << PolicySwitch::Off << QStringLiteral("1") << false;
    }
    void switchedOn()
    {
        QFETCH(PolicySwitch, policy);
        QFETCH(QString, own);
        QFETCH(bool, on);
        QCOMPARE(platform::diagnosticLogWanted(policy, own), on);
    }

    void quotedTextLeftOut_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("logged");
        QTest::newRow("a statement quoted")
            << QStringLiteral("near 'SHA1('pw''x') and hidden=0' at line 1") << QStringLiteral("near '…'");
        QTest::newRow("cut short") << QStringLiteral("near 'SHA1('pw") << QStringLiteral("near '…'");
        QTest::newRow("double quotes first") << QStringLiteral("a \"b' c") << QStringLiteral("a \"…\"");
        QTest::newRow("nothing quoted") << QStringLiteral("Lost connection") << QStringLiteral("Lost connection");
    }
    void quotedTextLeftOut()
    {
        QFETCH(QString, text);
        QFETCH(QString, logged);
        QCOMPARE(platform::withoutQuotedText(text), logged);
    }

    // A few lines a file, three files, the oldest lines gone; each line dated, levelled and placed in its area.
    void rotatesAtTheCap()
    {
        QTemporaryDir base;
        const QString folder = base.filePath(QStringLiteral("state/norvaquillet"));
        {
            const platform::DiagnosticLog log(true, folder, {320, 3});
            QVERIFY(log.isWriting());
            for (int i = 10; i < 30; ++i)
                qCInfo(platform::lcDecode, "line %dxxxxxxxxxxxxxxxxxxxx", i);
        }
        const QStringList files = QDir(folder).entryList(QDir::Files, QDir::Name);
        QCOMPARE(files, (QStringList{QStringLiteral("NorvaQuillet.1.log"), QStringLiteral("NorvaQuillet.2.log"),
                                     QStringLiteral("NorvaQuillet.log")}));
        QByteArray text;
        for (const char* name : {"/NorvaQuillet.2.log", "/NorvaQuillet.1.log", "/NorvaQuillet.log"}) {
            QFile file(folder + QLatin1StringView(name));
            QVERIFY(file.open(QIODevice::ReadOnly) && file.size() <= 320);
            text += file.readAll();
#ifdef Q_OS_UNIX
            QCOMPARE(file.permissions() & 0x7777,
                     QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
#endif
        }
        const QStringList lines = QString::fromUtf8(text).split(u'\n', Qt::SkipEmptyParts);
        static const QRegularExpression shape(QStringLiteral(
            R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}([+-]\d\d:\d\d|Z) (INFO |WARN ) (decode line \d\dx+|start the run ends)$)"));
        for (const QString& line : lines)
            QVERIFY2(shape.match(line).hasMatch(), qPrintable(line));
        // The newest lines, in order, up to the run's end; the oldest are gone.
        QVERIFY(lines.size() > 3 && lines.constLast().endsWith(QStringLiteral("the run ends")));
        const int first = lines.constFirst().section(QStringLiteral("line "), 1).left(2).toInt();
        QVERIFY(first > 10);
        for (int i = 0; i < lines.size() - 1; ++i)
            QVERIFY2(lines.at(i).contains(QStringLiteral("line %1x").arg(first + i)), qPrintable(lines.at(i)));
        QCOMPARE(first + lines.size() - 2, 29);
#ifdef Q_OS_UNIX
        QCOMPARE(QFile::permissions(folder) & 0x7077, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#endif
    }

    // Off, or wherever it cannot write, the log makes nothing, loses nothing, and the caller goes on.
    void neverInTheWay_data()
    {
        QTest::addColumn<QString>("where");
        for (const char* row :
             {"off", "folder cannot be made", "log name taken by a folder", "read-only folder", "disk full mid-run"})
            QTest::newRow(row) << QString::fromLatin1(row);
    }
    void neverInTheWay()
    {
        QFETCH(QString, where);
        QTemporaryDir base;
        QString folder = base.filePath(QStringLiteral("logs"));
        if (where == u"folder cannot be made") {
            QVERIFY(QFile(base.filePath(QStringLiteral("file"))).open(QIODevice::WriteOnly));
            folder = base.filePath(QStringLiteral("file/logs"));
        }
        if (where == u"log name taken by a folder")
            QVERIFY(QDir().mkpath(folder + QStringLiteral("/NorvaQuillet.log")));
#ifdef Q_OS_UNIX
        std::optional<testsupport::AsOrdinaryUser> asUser;
        if (where == u"read-only folder") {
            QVERIFY(QDir().mkdir(folder) && testsupport::setOpenTo(base.path(), false));
            ::chown(QFile::encodeName(folder).constData(), testsupport::nobody().pw_uid, testsupport::nobody().pw_gid);
            QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0500) == 0);
            asUser.emplace();
            QVERIFY(asUser->ok());
        }
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        if (where == u"disk full mid-run") {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit small{100, limit.rlim_max};
            ::setrlimit(RLIMIT_FSIZE, &small);
        }
#else
        if (where == u"read-only folder" || where == u"disk full mid-run")
            QSKIP("staged on POSIX");
#endif
        {
            const platform::DiagnosticLog log(where != u"off", folder);
            for (int i = 0; i < 3; ++i)
                qCWarning(platform::lcUi, "message box: %d", i);
            QVERIFY(!log.isWriting());
        }
#ifdef Q_OS_UNIX
        ::setrlimit(RLIMIT_FSIZE, &limit);
        asUser.reset();
        testsupport::setOpenTo(base.path(), true);
        QVERIFY(where != u"disk full mid-run" || QFile(folder + QStringLiteral("/NorvaQuillet.log")).size() <= 100);
#endif
        QCOMPARE(QFileInfo::exists(folder), where != u"off" && where != u"folder cannot be made");
    }
};

QTEST_GUILESS_MAIN(TestDiagnosticLog)
#include "tst_diagnosticlog.moc"
