// The real message box as a person meets it: Qt's own texts in Korean whatever the system's language, and its
// text in the diagnostic log before it shows.
#include "DiagnosticLog.h"
#include "MessageBoxQt.h"
#include "QtTexts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestMessageBoxQt final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(platform::installKoreanQtTexts()); }

    void okButtonSaysHwagin()
    {
        // Answers the box once it is on screen; the box is a top-level window from show() on.
        QString buttonText;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&buttonText] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(window);
                if (box && box->isVisible()) {
                    buttonText = box->button(QMessageBox::Ok)->text();
                    box->button(QMessageBox::Ok)->click();
                }
            }
        });
        answer.start(10);
        platform::MessageBoxQt().show(QStringLiteral("파일 저장 중 오류 발생: Permission denied"));
        QCOMPARE(buttonText, QStringLiteral("확인"));
    }

    void loggedBeforeItShows()
    {
        QTemporaryDir folder;
        const platform::DiagnosticLog log(true, folder.path());
        QString logged;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                QFile file(folder.filePath(QStringLiteral("NorvaQuillet.log")));
                logged = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
                box->button(QMessageBox::Ok)->click();
            }
        });
        answer.start(10);
        platform::MessageBoxQt().show(QStringLiteral("Error 1064 (near 'SHA1('pw')' at line 1)"));
        QVERIFY2(logged.contains(QStringLiteral(" WARN  ui message box: Error 1064 (near '…'\n")), qPrintable(logged));
    }
};

QTEST_MAIN(TestMessageBoxQt)
#include "tst_messageboxqt.moc"
