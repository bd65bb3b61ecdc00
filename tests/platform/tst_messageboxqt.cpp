// The real message box as a person meets it: Qt's own texts in Korean whatever the system's language.
#include "MessageBoxQt.h"
#include "QtTexts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <memory>

class TestMessageBoxQt final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(platform::installKoreanQtTexts()); }

    void okButtonSaysHwagin()
    {
        QString buttonText;
        QTimer::singleShot(0, [&buttonText] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            QAbstractButton* ok = box->button(QMessageBox::Ok);
            buttonText = ok->text();
            ok->click();
        });
        platform::MessageBoxQt().show(QStringLiteral("파일 저장 중 오류 발생: Permission denied"));
        QCOMPARE(buttonText, QStringLiteral("확인"));
    }

    void textBoxMenuIsKorean()
    {
        QLineEdit box;
        const std::unique_ptr<QMenu> menu(box.createStandardContextMenu());
        QStringList texts;
        for (const QAction* action : menu->actions())
            texts.append(action->text());
        // Each text carries its shortcut after a tab.
        QVERIFY2(texts.contains(QStringLiteral("붙여넣기(&P)\tCtrl+V")), qPrintable(texts.join(u'|')));
    }
};

QTEST_MAIN(TestMessageBoxQt)
#include "tst_messageboxqt.moc"
