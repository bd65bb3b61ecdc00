// The real message box as a person meets it: Qt's own texts in Korean whatever the system's language.
#include "MessageBoxQt.h"
#include "QtTexts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
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
};

QTEST_MAIN(TestMessageBoxQt)
#include "tst_messageboxqt.moc"
