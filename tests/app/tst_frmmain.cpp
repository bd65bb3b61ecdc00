#include "FileDialogQt.h"
#include "RecordingServices.h"
#include "UndeletableFile.h"
#include "frmMain.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <memory>
#include <optional>

using testsupport::TestServices;

namespace {

struct VersionCheckCall
{
    QString fileName, localDir, subPath;
    QStringList files;
};

std::unique_ptr<QMimeData> fileList(const QStringList& paths)
{
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

// What a person sees when dragging data over the window: whether a drop cursor appears.
bool offersDropCursor(QWidget* window, const QMimeData* data)
{
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    return enter.isAccepted();
}

// Types text the way a keyboard (or an input method, for Korean) delivers it.
void typeText(QWidget* widget, const QString& text)
{
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(widget, &press);
    }
}

void drop(QWidget* window, const QMimeData* data)
{
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &event);
}

} // namespace

class TestFrmMain final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<frmMain> load(TestServices& t, QList<VersionCheckCall>* checks = nullptr)
    {
        auto form = std::make_unique<frmMain>(t.services, [checks](const QString& fileName, const QString& localDir,
                                                                   const QString& subPath, const QStringList& files) {
            if (checks)
                checks->append({fileName, localDir, subPath, files});
        });
        return form;
    }
    static void showActive(QWidget* w)
    {
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
    }
    template <class T> static T* child(QWidget* w, const char* name)
    {
        auto* c = w->findChild<T*>(QString::fromLatin1(name));
        if (!c)
            qFatal("no control %s", name);
        return c;
    }
    static void verifyIdle(QWidget* w)
    {
        QVERIFY(child<QLabel>(w, "lblHelp")->isVisible());
        QVERIFY(!child<QLabel>(w, "lblState")->isVisible());
        QVERIFY(!child<QProgressBar>(w, "ProgressBar1_0")->isVisible());
        QVERIFY(!child<QProgressBar>(w, "ProgressBar1_1")->isVisible());
    }

private Q_SLOTS:
    void loadsCaptionControlsAndVersionCheck()
    {
        TestServices t;
        QList<VersionCheckCall> checks;
        auto form = load(t, &checks);
        QCOMPARE(form->windowTitle(), QStringLiteral("ZT SQL 로그 디코더 v.1.0.1"));
        QCOMPARE(child<QRadioButton>(form.get(), "Option1_0")->text(), QStringLiteral("Tamo2계열"));
        QCOMPARE(child<QRadioButton>(form.get(), "Option1_1")->text(), QStringLiteral("DES(Tamo3계열)"));
        QCOMPARE(child<QLabel>(form.get(), "Label1")->text(), QStringLiteral("(닷넷2.0 필요)"));
        QCOMPARE(child<QLabel>(form.get(), "lblState")->text(), QStringLiteral("처리중입니다..."));
        QCOMPARE(child<QLabel>(form.get(), "lblHelp")->text(),
                 QStringLiteral("Log파일들을 드래그해서 이폼에 올려놓으세요.(멀티파일 지원함)"));
        QVERIFY(child<QRadioButton>(form.get(), "Option1_0")->isChecked());
        QCOMPARE(child<QProgressBar>(form.get(), "ProgressBar1_0")->maximum(), 100);
        // What a screen reader says where a caption does not say it.
        QCOMPARE(QAccessible::queryAccessibleInterface(child<QWidget>(form.get(), "txtKey"))->text(QAccessible::Name),
                 QStringLiteral("DES 암호화 키"));
        QVERIFY(!child<QWidget>(form.get(), "Option1_1")->accessibleDescription().isEmpty());

        QCOMPARE(checks.size(), 1);
        QCOMPARE(checks[0].fileName, QStringLiteral("Palvex.exe"));
        QCOMPARE(checks[0].localDir, t.services.app.dir);
        QCOMPARE(checks[0].subPath, QString());
        QCOMPARE(checks[0].files, QStringList{QStringLiteral("Palvex.exe")});

        showActive(form.get());
        verifyIdle(form.get());
        // Restoring the saved mode at load writes nothing.
        QVERIFY(!QFile::exists(t.settings.location(QStringLiteral("NorvaQuillet"))));
    }

    // The mode, the key and the folder the file dialog was last used in.
    void choicesSurviveRestart()
    {
        TestServices t;
        QTemporaryDir work;
        t.fileDialog.answer = {work.filePath(QStringLiteral("gone.log"))};
        {
            auto form = load(t);
            showActive(form.get());
            QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
            QTest::mouseClick(child<QRadioButton>(form.get(), "Option1_1"), Qt::LeftButton);
            typeText(child<QLineEdit>(form.get(), "txtKey"), QStringLiteral("비밀key"));
        }
        const QString app = QStringLiteral("NorvaQuillet");
        QCOMPARE(t.settings.read(app, QStringLiteral("Config"), QStringLiteral("Option1_Index")), QStringLiteral("1"));
        QCOMPARE(t.settings.read(app, QStringLiteral("Config"), QStringLiteral("DesKey")), QStringLiteral("비밀key"));

        auto again = load(t);
        QVERIFY(child<QRadioButton>(again.get(), "Option1_1")->isChecked());
        QCOMPARE(child<QLineEdit>(again.get(), "txtKey")->text(), QStringLiteral("비밀key"));
        // The first focus is on the saved mode: Space cannot switch it by accident.
        showActive(again.get());
        QTRY_VERIFY(child<QRadioButton>(again.get(), "Option1_1")->hasFocus());
        QTest::keyClick(again.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(t.fileDialog.startFolders, (QStringList{QString(), QDir::toNativeSeparators(work.path())}));
    }

    void unusableStoredModeFallsBackToFirst()
    {
        TestServices t;
        t.settings.write(QStringLiteral("NorvaQuillet"), QStringLiteral("Config"), QStringLiteral("Option1_Index"),
                         QStringLiteral("7"));
        auto form = load(t);
        QVERIFY(child<QRadioButton>(form.get(), "Option1_0")->isChecked());
    }

    // Every road to a drop, the mouse's and the keyboard's (the file dialog answered by a double, or the system's
    // own answered by keys): files only, in the order given.
    void roadsToADrop_data()
    {
        QTest::addColumn<QString>("road");
        QTest::addColumn<bool>("files"); // else text only, or the dialog cancelled
        for (const char* road : {"drop", "Ctrl+O", "Ctrl+O, system's dialog", "Ctrl+V", "Ctrl+V in the key box"}) {
            QTest::addRow("%s, files", road) << QString::fromLatin1(road) << true;
            QTest::addRow("%s, no files", road) << QString::fromLatin1(road) << false;
        }
    }
    void roadsToADrop()
    {
        QFETCH(QString, road);
        QFETCH(bool, files);
        TestServices t;
        platform::FileDialogQt system;
        if (road.endsWith(u"dialog"))
            t.services.fileDialog = &system;
        QTemporaryDir work;
        // One output name for both: what it holds tells which was decoded last.
        const QStringList logs{work.filePath(QStringLiteral("가.log")), work.filePath(QStringLiteral("가.txt"))};
        QVERIFY(testsupport::writeFile(logs[0], "4100") && testsupport::writeFile(logs[1], "41004200"));
        auto form = load(t);
        showActive(form.get());
        auto* key = child<QLineEdit>(form.get(), "txtKey");
        auto data = files ? fileList(logs) : std::make_unique<QMimeData>();
        data->setText(QStringLiteral("text")); // file managers put the paths on as text too
        t.fileDialog.answer = files ? logs : QStringList();
        if (road == u"drop") {
            QCOMPARE(offersDropCursor(form.get(), data.get()), files);
            drop(form.get(), data.get());
        } else if (road.startsWith(u"Ctrl+O")) {
            // Keys for the system's dialog once it has the keyboard; one that never gets it is closed: no hang.
            QTimer person;
            int polls = 0;
            connect(&person, &QTimer::timeout, this, [&] {
                auto* open = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                if (!open || (!open->isActiveWindow() && ++polls < 500))
                    return;
                person.stop();
                t.fileDialog.offered = open->nameFilters();
                typeText(QApplication::focusWidget(), u'"' + logs.join(QStringLiteral("\" \"")) + u'"');
                QTest::keyClick(QApplication::focusWidget(), files ? Qt::Key_Return : Qt::Key_Escape);
                if (open->isVisible())
                    open->reject();
            });
            person.start(10);
            QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
            QCOMPARE(t.fileDialog.offered,
                     (QStringList{QStringLiteral("Log files (*.log)"), QStringLiteral("All files (*.*)")}));
        } else {
            QGuiApplication::clipboard()->setMimeData(data.release());
            QWidget* focus = road == u"Ctrl+V" ? child<QWidget>(form.get(), "Option1_0") : key;
            focus->setFocus();
            QTest::keyClick(focus, Qt::Key_V, Qt::ControlModifier);
        }
        QCOMPARE(testsupport::readFile(work.filePath(QStringLiteral("가.sql"))), QByteArray(files ? "AB\r\n" : ""));
        QVERIFY(t.messageBox.messages.isEmpty());
        QCOMPARE(t.waitCursor.sets, files ? 1 : 0);
        QCOMPARE(key->text(), road.endsWith(u"key box") && !files ? QStringLiteral("text") : QString());
        verifyIdle(form.get());
    }

    void failingFileMidBatchDoesNotStopTheBatch()
    {
        TestServices t;
        QTemporaryDir work;
        const QString first = work.filePath(QStringLiteral("first.log"));
        const QString missing = work.filePath(QStringLiteral("gone.log"));
        const QString last = work.filePath(QStringLiteral("last.log"));
        QVERIFY(testsupport::writeFile(first, "4100"));
        QVERIFY(testsupport::writeFile(last, "4200"));
        auto form = load(t);
        showActive(form.get());

        form->OLEDragDrop({first, missing, work.path(), last});

        QCOMPARE(testsupport::readFile(work.filePath(QStringLiteral("first.sql"))), QByteArray("A\r\n"));
        QCOMPARE(testsupport::readFile(work.filePath(QStringLiteral("last.sql"))), QByteArray("B\r\n"));
        QCOMPARE(t.messageBox.messages.size(), 2);
        QCOMPARE(t.messageBox.messages[0].text,
                 QStringLiteral("Error 53 (File not found) in procedure Decrypt of Form frmMain"));
        QVERIFY(t.messageBox.messages[1].text.endsWith(QStringLiteral(") in procedure Decrypt of Form frmMain")));
        auto* overall = child<QProgressBar>(form.get(), "ProgressBar1_1");
        QCOMPARE(overall->maximum(), 4);
        QCOMPARE(overall->value(), 4);
        verifyIdle(form.get());
    }

    void closeDuringBatchEndsItAndThenTheWindow_data()
    {
        QTest::addColumn<bool>("undeletable");
        QTest::newRow("unfinished output removed") << false;
        QTest::newRow("unfinished output cannot be removed") << true;
    }

    // A person clicks the close button while a batch decodes: the window goes when the batch lets go of it.
    void closeDuringBatchEndsItAndThenTheWindow()
    {
        QFETCH(bool, undeletable);
        TestServices t;
        QTemporaryDir work;
        const QString second = work.filePath(QStringLiteral("second"));
        const QStringList logs{work.filePath(QStringLiteral("one.log")), second + QStringLiteral("/two.log"),
                               work.filePath(QStringLiteral("three.log"))};
        for (const QString& log : logs)
            QVERIFY(testsupport::writeFile(log, QByteArray("41004200\r\n").repeated(2000)));
        QPointer<frmMain> window = load(t).release();
        window->setAttribute(Qt::WA_DeleteOnClose); // as the program shows it
        showActive(window);
        // The close arrives in the queue, as a click on the close button does, once the second file's decode is under
        // way; its new file, where it has a name by then (Windows), something may hold.
        QString unfinished;
        bool closing = false;
        std::optional<testsupport::UndeletableFile> locked;
        connect(child<QProgressBar>(window, "ProgressBar1_0"), &QProgressBar::valueChanged, this, [&](int percent) {
            if (closing || percent == 0 || child<QProgressBar>(window, "ProgressBar1_1")->value() != 1)
                return;
            closing = true;
            const QStringList made = QDir(second).entryList({QStringLiteral("two.sql.*")}, QDir::Files);
            if (!made.isEmpty())
                unfinished = second + u'/' + made.constFirst();
            if (undeletable && !made.isEmpty())
                locked.emplace(unfinished);
            QCoreApplication::postEvent(window->windowHandle(), new QCloseEvent);
        });
        bool dropReturned = false;
        bool destroyedDuringDrop = false;
        connect(window, &QObject::destroyed, this, [&] { destroyedDuringDrop = !dropReturned; });

        const auto data = fileList(logs);
        QVERIFY(offersDropCursor(window, data.get()));
        drop(window, data.get());
        dropReturned = true;

        QTRY_VERIFY(window.isNull());
        const bool wasLocked = locked && locked->active();
        locked.reset();
        if (undeletable && !wasLocked)
            QSKIP("the new file has no name here until it is whole, or nothing keeps a file from being deleted");
        QVERIFY(!destroyedDuringDrop);
        QCOMPARE(testsupport::readFile(work.filePath(QStringLiteral("one.sql"))), QByteArray("AB\r\n").repeated(2000));
        QCOMPARE(QFile::exists(unfinished), undeletable);
        QVERIFY(!QFile::exists(work.filePath(QStringLiteral("three.sql"))));
        QCOMPARE(t.waitCursor.depth, 0);
        if (!undeletable) {
            QVERIFY(t.messageBox.messages.isEmpty()); // the stop itself is the user's doing
            return;
        }
        // A half output left behind would pass for a whole one: the user hears which file it is, and why.
        QCOMPARE(t.messageBox.messages.size(), 1);
        const QString text = t.messageBox.messages[0].text;
        const QString named =
            QStringLiteral("파일: ") + QDir::toNativeSeparators(unfinished) + QStringLiteral("\n이유: ");
        QVERIFY2(text.contains(named), qPrintable(text));
        QVERIFY2(text.size() > text.indexOf(named) + named.size(), "the system's reason follows");
    }

    // Linux file managers send a file list together with the paths as text: on the key box too it is a drop.
    void fileListDroppedOnTheKeyBoxIsDecoded()
    {
        TestServices t;
        QTemporaryDir work;
        const QString log = work.filePath(QStringLiteral("k.log"));
        QVERIFY(testsupport::writeFile(log, "4100"));
        auto form = load(t);
        showActive(form.get());
        auto* key = child<QLineEdit>(form.get(), "txtKey");
        const auto data = fileList({log});
        data->setText(QUrl::fromLocalFile(log).toString());

        QVERIFY(offersDropCursor(key, data.get()));
        drop(key, data.get());

        QCOMPARE(testsupport::readFile(work.filePath(QStringLiteral("k.sql"))), QByteArray("A\r\n"));
        QCOMPARE(key->text(), QString());
        QCOMPARE(t.settings.read(QStringLiteral("NorvaQuillet"), QStringLiteral("Config"), QStringLiteral("DesKey"),
                                 QStringLiteral("unset")),
                 QStringLiteral("unset"));
    }

    void externalModeNeedsKey()
    {
        TestServices t;
        QVERIFY(testsupport::installRecorder(t.services.app.filePath(QStringLiteral("Palvex.exe"))));
        auto form = load(t);
        showActive(form.get());
        QTest::mouseClick(child<QRadioButton>(form.get(), "Option1_1"), Qt::LeftButton);
        child<QRadioButton>(form.get(), "Option1_1")->setFocus();

        form->OLEDragDrop({QStringLiteral("/tmp/x.log")});

        QCOMPARE(t.messageBox.texts(), QStringList{QStringLiteral("des암호화 키를 입력해 주세요.")});
        QCOMPARE(t.messageBox.messages[0].title, QString());
        QTRY_VERIFY(child<QLineEdit>(form.get(), "txtKey")->hasFocus());
        QCOMPARE(t.waitCursor.sets, 0);
    }

    void externalModeNeedsDecoder()
    {
        TestServices t;
        auto form = load(t);
        showActive(form.get());
        QTest::mouseClick(child<QRadioButton>(form.get(), "Option1_1"), Qt::LeftButton);
        QTest::keyClicks(child<QLineEdit>(form.get(), "txtKey"), QStringLiteral("k"));

        form->OLEDragDrop({QStringLiteral("/tmp/x.log")});

        QCOMPARE(t.messageBox.texts(), QStringList{QStringLiteral("Palvex.exe 파일을 찾을 수 없습니다.")});
        QCOMPARE(t.waitCursor.sets, 0);
    }

    void externalModeStartsOneDecoderPerFile()
    {
        TestServices t;
        QTemporaryDir work;
        const QString decoder = t.services.app.filePath(QStringLiteral("Palvex.exe"));
        QVERIFY(testsupport::installRecorder(decoder));
        QStringList files;
        for (const char* name : {"one.log", "two words.log", "셋.log"}) {
            files.append(work.filePath(QString::fromUtf8(name)));
            QVERIFY(testsupport::writeFile(files.last(), "4100"));
        }
        auto form = load(t);
        showActive(form.get());
        QTest::mouseClick(child<QRadioButton>(form.get(), "Option1_1"), Qt::LeftButton);
        QTest::keyClicks(child<QLineEdit>(form.get(), "txtKey"), QStringLiteral("k"));

        const auto data = fileList(files);
        QVERIFY(offersDropCursor(form.get(), data.get()));
        drop(form.get(), data.get());

        auto* overall = child<QProgressBar>(form.get(), "ProgressBar1_1");
        QCOMPARE(overall->value(), 3);
        QCOMPARE(overall->maximum(), 3);
        verifyIdle(form.get());
        QVERIFY(t.messageBox.messages.isEmpty());
        // One run of the decoder per file, each with the file and the pass phrase.
        QTRY_COMPARE(testsupport::recordedRuns(decoder).size(), 3);
        QList<QByteArray> runs = testsupport::recordedRuns(decoder);
        std::sort(runs.begin(), runs.end());
        QList<QByteArray> expected;
        for (const QString& f : files)
            expected.append("2\n" + QDir::toNativeSeparators(f).toUtf8() + "\nwrbe3%KA\n");
        std::sort(expected.begin(), expected.end());
        QCOMPARE(runs, expected);
        // Nothing was decoded by the built-in decoder.
        QVERIFY(!QFile::exists(work.filePath(QStringLiteral("one.sql"))));
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
