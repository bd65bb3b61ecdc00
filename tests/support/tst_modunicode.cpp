#include "RecordingServices.h"
#include "modUniCode.h"

#include <QDir>
#include <QFile>
#include <QTest>

#ifdef Q_OS_UNIX
#include "OrdinaryUser.h"

#include <csignal>
#include <sys/resource.h>
#endif

using testsupport::readFile;
using testsupport::writeFile;

class tst_modUniCode : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesMarkAndText()
    {
        testsupport::TestServices t;
        const QString path = t.services.app.filePath(QStringLiteral("abc.txt"));
        modUniCode::WriteUTF8TextFile(t.services, path, QStringLiteral("abc"));
        QCOMPARE(readFile(path), QByteArray("\xEF\xBB\xBF"
                                            "abc"));
        QCOMPARE(modUniCode::ReadUTF8TextFile(t.services, path), QStringLiteral("abc"));
        QVERIFY(t.messageBox.messages.isEmpty());
    }

    void reads_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("with mark") << QByteArray("\xEF\xBB\xBF{}") << QStringLiteral("{}");
        QTest::newRow("without mark") << QByteArray("{}") << QStringLiteral("{}");
        QTest::newRow("only the mark") << QByteArray("\xEF\xBB\xBF") << QString();
        QTest::newRow("empty file") << QByteArray() << QString();
        QTest::newRow("second mark is text") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx") << QStringLiteral("\uFEFFx");
        QTest::newRow("Korean, CR LF kept")
            << QStringLiteral("사내메신저DB서버\r\n").toUtf8() << QStringLiteral("사내메신저DB서버\r\n");
    }
    void reads()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        testsupport::TestServices t;
        const QString path = t.services.app.filePath(QStringLiteral("in.json"));
        QVERIFY(writeFile(path, bytes));
        QCOMPARE(modUniCode::ReadUTF8TextFile(t.services, path), text);
        QVERIFY(t.messageBox.messages.isEmpty());
    }

    void koreanRoundTrip()
    {
        testsupport::TestServices t;
        const QString path = t.services.app.filePath(QStringLiteral("server_address_setting.json"));
        const QString text =
            QStringLiteral("{\"servers\": [{\"name\": \"자동업데이트_런처\", \"host\": \"갑.example\"}]}");
        modUniCode::WriteUTF8TextFile(t.services, path, text);
        QCOMPARE(modUniCode::ReadUTF8TextFile(t.services, path), text);
        QVERIFY(t.messageBox.messages.isEmpty());
    }

    void readFailuresShowTheMessage_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing file") << QStringLiteral("missing.json")
                                      << QStringLiteral("파일 읽기 중 오류 발생: File not found");
        QTest::newRow("a folder") << QStringLiteral("folder")
                                  << QStringLiteral("파일 읽기 중 오류 발생: Path/File access error");
    }
    void readFailuresShowTheMessage()
    {
        QFETCH(QString, name);
        QFETCH(QString, message);
        testsupport::TestServices t;
        QVERIFY(QDir(t.services.app.dir).mkdir(QStringLiteral("folder")));
        QCOMPARE(modUniCode::ReadUTF8TextFile(t.services, t.services.app.filePath(name)), QString());
        QCOMPARE(t.messageBox.texts(), QStringList{message});
    }

    void replacesTheWholeFile()
    {
        testsupport::TestServices t;
        const QString path = t.services.app.filePath(QStringLiteral("cache.json"));
        QVERIFY(writeFile(path, QByteArray(5000, 'x')));
        modUniCode::WriteUTF8TextFile(t.services, path, QStringLiteral("{}"));
        QCOMPARE(readFile(path), QByteArray("\xEF\xBB\xBF{}"));
        modUniCode::WriteUTF8TextFile(t.services, path, QString());
        QCOMPARE(readFile(path), QByteArray("\xEF\xBB\xBF"));
        // Nothing is left beside it.
        QCOMPARE(QDir(t.services.app.dir).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("cache.json")});
        QVERIFY(t.messageBox.messages.isEmpty());
    }

    void writeFailuresSayTheirCause_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing folder") << QStringLiteral("no/such/folder")
                                        << QStringLiteral("파일 저장 중 오류 발생: Path not found");
#ifdef Q_OS_UNIX
        QTest::newRow("folder an ordinary user cannot write")
            << QStringLiteral("read-only") << QStringLiteral("파일 저장 중 오류 발생: Permission denied");
#endif
    }
    void writeFailuresSayTheirCause()
    {
        QFETCH(QString, folder);
        QFETCH(QString, message);
        testsupport::TestServices t;
        const QString path = t.services.app.filePath(folder + QStringLiteral("/cache.json"));
#ifdef Q_OS_UNIX
        QVERIFY(QDir(t.services.app.dir).mkdir(QStringLiteral("read-only")));
        QVERIFY(testsupport::setOpenTo(t.services.app.dir, false));
        QVERIFY(testsupport::setOpenTo(t.services.app.filePath(QStringLiteral("read-only")), false));
        const testsupport::AsOrdinaryUser user;
        QVERIFY(user.ok());
#endif
        QVERIFY(!modUniCode::WriteUTF8TextFile(t.services, path, QStringLiteral("{}")));
        QCOMPARE(t.messageBox.texts(), QStringList{message});
        QVERIFY(!QFile::exists(path));
    }

#ifdef Q_OS_UNIX
    void failedWriteLeavesTheOldFileWhole()
    {
        // The disk "fills up" after 1000 bytes: the new text cannot be written in full.
        testsupport::TestServices t;
        const QString path = t.services.app.filePath(QStringLiteral("cache.json"));
        const QByteArray old = "\xEF\xBB\xBF{\"ver\": \"1\"}";
        QVERIFY(writeFile(path, old));

        struct rlimit saved
        {
        };
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = 1000;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        modUniCode::WriteUTF8TextFile(t.services, path, QString(100000, u'z'));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        QCOMPARE(t.messageBox.texts(), QStringList{QStringLiteral("파일 저장 중 오류 발생: Disk full")});
        QCOMPARE(readFile(path), old);
        QCOMPARE(QDir(t.services.app.dir).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("cache.json")});
    }
#endif

    void fileExists_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("exists");
        QTest::newRow("file") << QStringLiteral("server_address_setting.json") << true;
        QTest::newRow("missing") << QStringLiteral("other.json") << false;
        QTest::newRow("folder") << QStringLiteral("folder") << false;
        QTest::newRow("wildcard") << QStringLiteral("*.json") << true;
        QTest::newRow("wildcard without match") << QStringLiteral("*.txt") << false;
        QTest::newRow("hidden file") << QStringLiteral(".hidden") << false;
        QTest::newRow("in a missing folder") << QStringLiteral("nope/server_address_setting.json") << false;
    }
    void fileExists()
    {
        QFETCH(QString, name);
        QFETCH(bool, exists);
        testsupport::TestServices t;
        QVERIFY(writeFile(t.services.app.filePath(QStringLiteral("server_address_setting.json")), "{}"));
        QVERIFY(writeFile(t.services.app.filePath(QStringLiteral(".hidden")), "{}"));
        QVERIFY(QDir(t.services.app.dir).mkdir(QStringLiteral("folder")));
        QCOMPARE(modUniCode::FileExists(t.services.app.filePath(name)), exists);
        QVERIFY(!modUniCode::FileExists(QString()));
    }
};

QTEST_GUILESS_MAIN(tst_modUniCode)
#include "tst_modunicode.moc"
