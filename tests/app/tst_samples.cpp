// Every sample log in samples/ decodes to exactly the ".sql" committed beside it. The samples are made by
// samples/make-samples.py from known SQL text, so this checks the decoder against an encoder of its own.
#include "DecodeDriver.h"
#include "RecordingServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using testsupport::readFile;

class TestSamples final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesToTheCommittedSql_data()
    {
        QTest::addColumn<QString>("log");
        const QDir samples(QStringLiteral(ZT_SAMPLES_DIR));
        const QStringList logs = samples.entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
        QVERIFY2(!logs.isEmpty(), "no sample logs in " ZT_SAMPLES_DIR);
        for (const QString& log : logs)
            QTest::newRow(qPrintable(log)) << samples.filePath(log);
    }
    void decodesToTheCommittedSql()
    {
        QFETCH(QString, log);
        const QByteArray expected = readFile(decoder::OutputPathFor(log));
        QVERIFY2(!expected.isEmpty(), "no .sql beside the sample");

        // Decoded in a folder of its own: the test never writes into the sources.
        QTemporaryDir dir;
        const QString copy = dir.filePath(QFileInfo(log).fileName());
        QVERIFY(QFile::copy(log, copy));
        QCOMPARE(decoder::DecodeFile(copy).error().number(), 0);
        QCOMPARE(readFile(decoder::OutputPathFor(copy)), expected);
    }
};

QTEST_GUILESS_MAIN(TestSamples)
#include "tst_samples.moc"
