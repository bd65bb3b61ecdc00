#include "RecordingServices.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// json-probe run as a person would run it, on the files in tests/data/json and on files that are no JSON at all.
class tst_JsonProbe : public QObject
{
    Q_OBJECT

    struct Run
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };

    static Run probe(const QString& path)
    {
        QProcess process;
        process.start(QStringLiteral(ZT_JSON_PROBE), {path});
        Run run;
        if (!process.waitForFinished(30000))
            return run;
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        return run;
    }

private Q_SLOTS:
    void dataFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("server-list cache") << QStringLiteral("cache");
        QTest::newRow("hand-edited file with faults") << QStringLiteral("faulty");
        QTest::newRow("not JSON") << QStringLiteral("not-json");
    }
    void dataFiles()
    {
        QFETCH(QString, name);
        const QString dir = QStringLiteral(ZT_TEST_DATA "/json/");
        const QString input = QDir(dir)
                                  .entryList({name + QStringLiteral(".*")}, QDir::Files)
                                  .filter(QRegularExpression(QStringLiteral("\\.(json|txt)$")))
                                  .value(0);
        QVERIFY(!input.isEmpty());
        const Run run = probe(dir + input);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, testsupport::readFile(dir + name + QStringLiteral(".out")));
        QCOMPARE(run.err, QByteArray());
    }

    void cacheIsWrittenBackCharacterForCharacter()
    {
        // A cache the writer produced reads and writes back to the same text, with a clean log.
        const QByteArray file = testsupport::readFile(QStringLiteral(ZT_TEST_DATA "/json/cache.json"));
        const Run run = probe(QStringLiteral(ZT_TEST_DATA "/json/cache.json"));
        QCOMPARE(run.out, file.mid(3) + '\n');
    }

    void anyFileGivesAnAnswer_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("empty file") << QByteArray() << QByteArray("\nInvalid JSON");
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe[\x80", 5) << QByteArray("\nInvalid JSON");
        QTest::newRow("invalid UTF-8 inside text") << QByteArray("[\"a\xff\"]") << QByteArray("[\"a\xef\xbf\xbd\"]\n");
        QTest::newRow("nesting without end")
            << QByteArray(100000, '[')
            << QByteArray(512, '[') + QByteArray(512, ']') + "\nToo deep at position 513\r\n";
    }
    void anyFileGivesAnAnswer()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, out);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("input.json"));
        QVERIFY(testsupport::writeFile(path, bytes));
        const Run run = probe(path);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.startsWith(out), run.out.left(200).constData());
        QCOMPARE(run.err, QByteArray());
    }

    void unreadableFilesAreReported_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << QStringLiteral("missing.json") << QStringLiteral("File not found");
        QTest::newRow("folder") << QStringLiteral("folder") << QStringLiteral("Path/File access error");
    }
    void unreadableFilesAreReported()
    {
        QFETCH(QString, name);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        const Run run = probe(dir.filePath(name));
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QByteArray("\nInvalid JSON"));
        QCOMPARE(QString::fromUtf8(run.err), QStringLiteral("파일 읽기 중 오류 발생: ") + message + u'\n');
    }
};

QTEST_GUILESS_MAIN(tst_JsonProbe)
#include "tst_jsonprobe.moc"
