// The file-version reader: Windows programs' version resources on any platform, and the version note our own
// Linux programs carry.
#include "FileVersionReader.h"
#include "PeFixture.h"
#include "RecordingServices.h"
#include "mdlFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>

using testsupport::PeFixture;
Q_DECLARE_METATYPE(PeFixture)

class TestFileVersion : public QObject
{
    Q_OBJECT

private:
    QString writeImage(testsupport::TestServices& t, const QByteArray& image)
    {
        const QString path = t.services.app.filePath(QStringLiteral("Tool.exe"));
        if (!testsupport::writeFile(path, image))
            return {};
        return path;
    }

    static QString readPe(const QByteArray& image)
    {
        const auto text = fileversion::readPeFileVersion(
            {reinterpret_cast<const unsigned char*>(image.constData()), std::size_t(image.size())});
        return text ? QString::fromStdU16String(*text) : QStringLiteral("<none>");
    }

private Q_SLOTS:
    void readsVersionResource_data()
    {
        QTest::addColumn<QString>("fileVersion");
        QTest::addColumn<bool>("normalise");
        QTest::addColumn<QString>("expected");

        QTest::newRow("normalised") << QStringLiteral("1.0.0.7") << true << QStringLiteral("1.0.0.7");
        QTest::newRow("last part dropped") << QStringLiteral("1.0.0.7") << false << QStringLiteral("1.0.0");
        QTest::newRow("leading zeros") << QStringLiteral("2.1.0.0012") << true << QStringLiteral("2.1.0.12");
        QTest::newRow("zero stays") << QStringLiteral("2.1.0.000") << true << QStringLiteral("2.1.0.0");
        QTest::newRow("text after first blank") << QStringLiteral("Build 3.0.1.5") << true << QStringLiteral("3.0.1.5");
        QTest::newRow("after first blank, unnormalised")
            << QStringLiteral("Build 3.0.1.5") << false << QStringLiteral("3.0.1");
        QTest::newRow("no dot, normalised") << QStringLiteral("0042") << true << QStringLiteral("42");
        QTest::newRow("wide text") << QStringLiteral("버전 4.0.0.9") << true << QStringLiteral("4.0.0.9");
    }
    void readsVersionResource()
    {
        QFETCH(QString, fileVersion);
        QFETCH(bool, normalise);
        QFETCH(QString, expected);
        testsupport::TestServices t;
        PeFixture fixture;
        fixture.fileVersion = fileVersion;
        const QString path = writeImage(t, testsupport::makePeImage(fixture));
        QCOMPARE(mdlFile::GetFileVer(t.services, path, normalise, false), expected);
        QVERIFY(t.messageBox.messages.isEmpty());
    }

    void layoutsWindowsWrites_data()
    {
        QTest::addColumn<PeFixture>("fixture");
        QTest::addColumn<QString>("expected");

        PeFixture wide;
        wide.pe32Plus = true;
        QTest::newRow("64-bit image") << wide << QStringLiteral("1.0.0.7");
        PeFixture varFirst;
        varFirst.varFileInfoFirst = true;
        QTest::newRow("VarFileInfo first") << varFirst << QStringLiteral("1.0.0.7");
        PeFixture many;
        many.otherStrings = {{QStringLiteral("Comments"), QStringLiteral("x")},
                             {QStringLiteral("FileDescription"), QStringLiteral("odd length!")},
                             {QStringLiteral("CompanyName"), QString()}};
        QTest::newRow("after other strings") << many << QStringLiteral("1.0.0.7");
        PeFixture secondTable;
        secondTable.secondTableFileVersion = QStringLiteral("9.9.9.9");
        QTest::newRow("first table wins") << secondTable << QStringLiteral("1.0.0.7");
        PeFixture onlySecond;
        onlySecond.fileVersion.clear();
        onlySecond.secondTableFileVersion = QStringLiteral("9.9.9.9");
        QTest::newRow("only in second table") << onlySecond << QStringLiteral("<none>");
        PeFixture caseDiffers;
        caseDiffers.fileVersionKey = QStringLiteral("fileversion");
        QTest::newRow("key case differs") << caseDiffers << QStringLiteral("<none>");
        PeFixture noVersion;
        noVersion.resourceType = 3;
        QTest::newRow("no version resource") << noVersion << QStringLiteral("<none>");
    }
    void layoutsWindowsWrites()
    {
        QFETCH(PeFixture, fixture);
        QFETCH(QString, expected);
        QCOMPARE(readPe(testsupport::makePeImage(fixture)), expected);
    }

    void failuresReportGetFileVer_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no file at all
        QTest::addColumn<QString>("message");

        QTest::newRow("missing file") << QByteArray()
                                      << QStringLiteral(
                                             "Error 53 (File not found) in procedure GetFileVer of Module mdlFile");
        QTest::newRow("script") << QByteArray("#!/bin/sh\nexit 0\n")
                                << QStringLiteral("Error 5 (Invalid procedure call or argument) in procedure "
                                                  "GetFileVer of Module mdlFile");
        PeFixture noVersion;
        noVersion.resourceType = 3;
        QTest::newRow("no version resource")
            << testsupport::makePeImage(noVersion)
            << QStringLiteral("Error 5 (Invalid procedure call or argument) in procedure GetFileVer of Module mdlFile");
        QTest::newRow("cut after the headers")
            << testsupport::makePeImage().left(0x220)
            << QStringLiteral("Error 5 (Invalid procedure call or argument) in procedure GetFileVer of Module mdlFile");
    }
    void failuresReportGetFileVer()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        testsupport::TestServices t;
        const QString path = t.services.app.filePath(QStringLiteral("Tool.exe"));
        if (!content.isEmpty())
            QVERIFY(testsupport::writeFile(path, content));

        QCOMPARE(mdlFile::GetFileVer(t.services, path, true, true), QString());
        QVERIFY(t.messageBox.messages.isEmpty());

        QCOMPARE(mdlFile::GetFileVer(t.services, path, true, false), QString());
        QCOMPARE(t.messageBox.texts(), QStringList{message});
        QCOMPARE(t.messageBox.messages.first().icon, platform::MessageIcon::Error);
    }

    void unnormalisedWithoutDotIsNoVersion()
    {
        testsupport::TestServices t;
        PeFixture fixture;
        fixture.fileVersion = QStringLiteral("7");
        const QString path = writeImage(t, testsupport::makePeImage(fixture));
        QCOMPARE(mdlFile::GetFileVer(t.services, path, false, true), QString());
        QCOMPARE(mdlFile::GetFileVer(t.services, path, true, true), QStringLiteral("7"));
    }

    // Every prefix of a valid image, and images with bytes changed, are read without harm.
    void damagedImagesAreRefused()
    {
        const QByteArray image = testsupport::makePeImage();
        for (qsizetype length = 0; length < image.size(); ++length) {
            const QString text = readPe(image.left(length));
            if (text != u"<none>" && text != u"1.0.0.7")
                QFAIL(qPrintable(QStringLiteral("prefix %1 gave %2").arg(length).arg(text)));
        }
        QRandomGenerator random(4711);
        for (int round = 0; round < 3000; ++round) {
            QByteArray damaged = image;
            const int changes = 1 + random.bounded(4);
            for (int i = 0; i < changes; ++i)
                damaged[random.bounded(int(damaged.size()))] = char(random.bounded(256));
            readPe(damaged); // must neither crash nor read out of bounds (the fuzz target checks harder)
        }
    }

    void readsOwnVersion()
    {
        testsupport::TestServices t;
        const QString self = QCoreApplication::applicationFilePath();
        QCOMPARE(mdlFile::GetFileVer(t.services, self, true, false), QStringLiteral(ZT_PROJECT_VERSION));
        const QString version = QStringLiteral(ZT_PROJECT_VERSION);
        QCOMPARE(mdlFile::GetFileVer(t.services, self, false, false), version.left(version.lastIndexOf(u'.')));
        QVERIFY(t.messageBox.messages.isEmpty());
    }

    void readsTheProgramsVersion()
    {
        testsupport::TestServices t;
        const QString program = QStringLiteral(ZT_PROGRAM_PATH);
        if (!QFileInfo::exists(program))
            QSKIP("NorvaQuillet is not built in this tree");
        QCOMPARE(mdlFile::GetFileVer(t.services, program, true, false), QStringLiteral(ZT_PROJECT_VERSION));
    }

    void programCarriesItsNames_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("FileDescription") << QStringLiteral("FileDescription") << QString::fromUtf8(ZT_PRODUCT_NAME);
        QTest::newRow("ProductName") << QStringLiteral("ProductName") << QString::fromUtf8(ZT_PRODUCT_NAME);
        QTest::newRow("CompanyName") << QStringLiteral("CompanyName") << QString::fromUtf8(ZT_COMPANY_NAME);
        QTest::newRow("LegalCopyright") << QStringLiteral("LegalCopyright") << QString::fromUtf8(ZT_COPYRIGHT_TEXT);
        QTest::newRow("OriginalFilename") << QStringLiteral("OriginalFilename") << QStringLiteral("NorvaQuillet.exe");
    }
    void programCarriesItsNames()
    {
#ifndef Q_OS_WIN
        QSKIP("the version resource is the Windows build's; the Linux program carries a version note alone");
#endif
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QFile program(QStringLiteral(ZT_PROGRAM_PATH));
        QVERIFY2(program.open(QIODevice::ReadOnly), qPrintable(program.errorString()));
        const QByteArray bytes = program.readAll();
        const auto text = fileversion::readPeVersionString(
            {reinterpret_cast<const unsigned char*>(bytes.constData()), std::size_t(bytes.size())},
            key.toStdU16String());
        QCOMPARE(text ? QString::fromStdU16String(*text) : QStringLiteral("<none>"), expected);
    }

    void elfWithoutNoteHasNoVersion()
    {
#ifdef Q_OS_WIN
        QSKIP("ELF programs are Linux's");
#endif
        testsupport::TestServices t;
        const QString shell = QStandardPaths::findExecutable(QStringLiteral("sh"));
        QVERIFY(!shell.isEmpty());
        QCOMPARE(mdlFile::GetFileVer(t.services, shell, true, true), QString());
    }
};

QTEST_GUILESS_MAIN(TestFileVersion)
#include "tst_fileversion.moc"
