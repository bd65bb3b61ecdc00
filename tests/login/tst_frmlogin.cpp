#include "RecordingServices.h"
#include "StoredSecret.h"
#include "TestDb.h"
#include "UserDataProtection.h"
#include "frmLogin.h"
#include "modMain.h"
#include "modMainShared.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

using testsupport::TestServices;

namespace {

const QString SettingsApp = QStringLiteral("Norva 업무관리");

// A dialog that should close by itself but waits for a person fails the test instead of hanging it.
bool closesByItself(frmLogin& form)
{
    bool waited = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &form, [&] {
        waited = true;
        form.reject();
    });
    guard.start(20000);
    form.showModal();
    return !waited;
}
const QString Section = QStringLiteral("Config");
const QString Mac = QStringLiteral("00:1A:2B:3C:4D:5E");
const QString WrongPassword = QStringLiteral("암호가 잘못되었습니다.");
const QString Refused = QStringLiteral("허용되지 않은 컴퓨터입니다. 관리자에게 문의바랍니다.");
const QString ServerDown = QStringLiteral("데이터베이스 서버에 접속할 수 없습니다.\r\n"
                                          "인터넷이 연결되어 있는지 확인 해 주세요.");

template <class T> T* control(QWidget& form, const char* name)
{
    return form.findChild<T*>(QString::fromLatin1(name));
}

// What the dialog's controls are, by their names.
struct Controls
{
    explicit Controls(frmLogin& form)
        : userName(control<QLineEdit>(form, "txtUserName")), password(control<QLineEdit>(form, "txtPassword")),
          save(control<QCheckBox>(form, "chkpwdSave")), ok(control<QPushButton>(form, "cmdOK")),
          cancel(control<QPushButton>(form, "cmdCancel"))
    {
    }
    QLineEdit* userName;
    QLineEdit* password;
    QCheckBox* save;
    QPushButton* ok;
    QPushButton* cancel;
};

// The remembered password as the dialog reads it back (protected where the system protects it).
QString remembered(const TestServices& t, const QString& absent = {})
{
    return platform::readStoredSecret(t.settings.read(SettingsApp, Section, QStringLiteral("passwd"), absent)).text;
}

void focus(QWidget* widget, QEvent::Type type)
{
    QFocusEvent event(type, Qt::TabFocusReason);
    QApplication::sendEvent(widget, &event);
}

} // namespace

// The login dialog on the offscreen platform against the real throw-away server.
class tst_frmLogin : public testdb::DatabaseTest
{
    Q_OBJECT

private Q_SLOTS:
    void rightPasswordLogsIn()
    {
        QVERIFY(m_root.addMac(QStringLiteral("hong"), Mac));
        QVERIFY(m_root.addUser(QStringLiteral("hong"), QStringLiteral("pw1234")));
        TestServices t;
        {
            frmLogin form(t.services);
            Controls c(form);
            form.show();
            QTRY_VERIFY(!c.userName->isEnabled());
            QCOMPARE(c.userName->text(), QStringLiteral("hong"));
            // The login connection is open while the dialog waits; the allowlist's own is gone.
            QTRY_COMPARE(m_root.loginConnections().size(), 1);

            QTest::keyClicks(c.password, QStringLiteral("pw1234"));
            c.ok->click();
            QVERIFY(form.LoginSucceeded());
            QVERIFY(!form.isVisible());
            QVERIFY(t.messageBox.messages.isEmpty());
        }
        // Unloading releases the login connection.
        QTRY_VERIFY(m_root.loginConnections().isEmpty());
    }

    void refusedLogin_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("hidden");
        QTest::newRow("wrong password") << QStringLiteral("pw9999") << 0;
    }
    void refusedLogin()
    {
        QFETCH(QString, typed);
        QFETCH(int, hidden);
        QVERIFY(m_root.addMac(QStringLiteral("hong"), Mac));
        QVERIFY(m_root.addUser(QStringLiteral("hong"), QStringLiteral("pw1234"), hidden));
        TestServices t;
        frmLogin form(t.services);
        Controls c(form);
        form.show();
        QTRY_VERIFY(!c.userName->isEnabled());
        QTest::keyClicks(c.password, typed);
        c.ok->click();

        QCOMPARE(t.messageBox.messages.size(), 1);
        QCOMPARE(t.messageBox.messages[0].text, WrongPassword);
        QCOMPARE(t.messageBox.messages[0].title, QStringLiteral("로그인"));
        QVERIFY(form.isVisible());
        QVERIFY(!form.LoginSucceeded());
        QCOMPARE(c.password->selectedText(), typed);
        QTRY_VERIFY(c.password->hasFocus());

        // Still usable: typing over the selection with the right password logs in.
        if (hidden == 0) {
            QTest::keyClicks(c.password, QStringLiteral("pw1234"));
            QCOMPARE(c.password->text(), QStringLiteral("pw1234"));
            c.ok->click();
            QVERIFY(form.LoginSucceeded());
        }
    }

    void pcRefused_data()
    {
        QTest::addColumn<QString>("registeredMac");
        QTest::addColumn<int>("block");
        QTest::newRow("blocked") << Mac << 1;
        QTest::newRow("unknown") << QStringLiteral("00:1A:2B:3C:4D:5F") << 0;
    }
    void pcRefused()
    {
        QFETCH(QString, registeredMac);
        QFETCH(int, block);
        QVERIFY(m_root.addMac(QStringLiteral("hong"), registeredMac, block));
        QVERIFY(m_root.addUser(QStringLiteral("hong"), QStringLiteral("pw")));
        TestServices t;
        t.settings.write(SettingsApp, Section, QStringLiteral("issave_passwd"), QStringLiteral("1"));
        t.settings.write(SettingsApp, Section, QStringLiteral("passwd"), QStringLiteral("pw"));
        frmLogin form(t.services);
        Controls c(form);
        form.show();
        QTRY_VERIFY(t.exit.exited);
        QCOMPARE(t.exit.exitCode, 0);
        QCOMPARE(t.messageBox.messages.size(), 1);
        QCOMPARE(t.messageBox.messages[0].text, Refused + QStringLiteral("\r\nMAC: ") + Mac);
        QCOMPARE(t.messageBox.messages[0].title, QString());
        QVERIFY(!form.LoginSucceeded());
        QCOMPARE(c.userName->text(), QString());
        QCOMPARE(c.password->echoMode(), QLineEdit::Password);
        // No login connection was made (the allowlist's own closes once it has answered).
        QTRY_VERIFY(m_root.loginConnections().isEmpty());
    }

    // Talking to the database can block for the whole connect time-out: the dialog is on screen before that.
    void dialogIsPaintedBeforeItTalksToTheDatabase()
    {
        struct PaintWatch final : QObject
        {
            bool painted = false;
            bool eventFilter(QObject*, QEvent* event) override
            {
                painted = painted || event->type() == QEvent::Paint;
                return false;
            }
        } watch;
        struct Machine final : platform::IMachineIdentity
        {
            const PaintWatch* watch = nullptr;
            mutable bool askedBeforePaint = false;
            QStringList macAddresses() const override
            {
                askedBeforePaint = askedBeforePaint || !watch->painted;
                return {Mac};
            }
        } machine;
        machine.watch = &watch;
        TestServices t;
        t.services.machine = &machine;
        frmLogin form(t.services);
        form.installEventFilter(&watch);
        form.show();
        QTRY_VERIFY(t.exit.exited); // unknown PC
        QVERIFY(watch.painted);
        QVERIFY(!machine.askedBeforePaint);
    }

    // The id is in its box, disabled, before the login connection is made: when the server goes away after the
    // allowlist has answered, the failure shows over it.
    void failedConnectionShowsOverTheFilledIdBox()
    {
        QVERIFY(m_root.addMac(QStringLiteral("hong"), Mac));
        struct ServerGoesAway final : QObject
        {
            bool eventFilter(QObject* watched, QEvent* event) override
            {
                if (event->type() == QEvent::EnabledChange && !static_cast<QWidget*>(watched)->isEnabled())
                    modMain::DbServerHost = QStringLiteral("127.0.0.1:") + QString::number(testsupport::closedPort());
                return false;
            }
        } away;
        struct Box final : platform::IMessageBox
        {
            QLineEdit* id = nullptr;
            QStringList seen;
            void show(const QString& text, const QString&, platform::MessageIcon) override
            {
                seen.append(id->text() + (id->isEnabled() ? QStringLiteral(", enabled: ") : QStringLiteral(": ")) +
                            text);
            }
        } box;
        TestServices t;
        t.services.messageBox = &box;
        frmLogin form(t.services);
        box.id = control<QLineEdit>(form, "txtUserName");
        box.id->installEventFilter(&away);
        form.show();
        QTRY_COMPARE(box.seen, QStringList{QStringLiteral("hong: ") + ServerDown});
        QVERIFY(!form.isVisible());
        QVERIFY(!form.LoginSucceeded());
    }

    void savedPasswordLogsInWithoutTouchingTheDialog()
    {
        QVERIFY(m_root.addMac(QStringLiteral("hong"), Mac));
        QVERIFY(m_root.addUser(QStringLiteral("hong"), QStringLiteral("비밀'\\번호")));
        TestServices t;
        t.settings.write(SettingsApp, Section, QStringLiteral("issave_passwd"), QStringLiteral("1"));
        t.settings.write(SettingsApp, Section, QStringLiteral("passwd"), QStringLiteral("비밀'\\번호"));
        frmLogin form(t.services);
        QVERIFY2(closesByItself(form), "the dialog waited for a person");
        QVERIFY(form.LoginSucceeded());
        QVERIFY(t.messageBox.messages.isEmpty());
        // The classic program's plain value has been replaced by a protected one where the system protects.
        QCOMPARE(remembered(t), QStringLiteral("비밀'\\번호"));
        QCOMPARE(t.settings.read(SettingsApp, Section, QStringLiteral("passwd")) == QStringLiteral("비밀'\\번호"),
                 !platform::userDataProtectionAvailable());
    }

    void savedPasswordThatIsWrong()
    {
        QVERIFY(m_root.addMac(QStringLiteral("hong"), Mac));
        QVERIFY(m_root.addUser(QStringLiteral("hong"), QStringLiteral("new")));
        TestServices t;
        t.settings.write(SettingsApp, Section, QStringLiteral("issave_passwd"), QStringLiteral("1"));
        t.settings.write(SettingsApp, Section, QStringLiteral("passwd"), QStringLiteral("old"));
        frmLogin form(t.services);
        Controls c(form);
        form.show();
        QTRY_COMPARE(t.messageBox.texts(), QStringList{WrongPassword});
        QVERIFY(form.isVisible());
        QCOMPARE(c.password->selectedText(), QStringLiteral("old"));
    }

    void emptyPasswordIsNotSentByItself()
    {
        QVERIFY(m_root.addMac(QStringLiteral("hong"), Mac));
        QVERIFY(m_root.addUser(QStringLiteral("hong"), QString()));
        TestServices t;
        t.settings.write(SettingsApp, Section, QStringLiteral("issave_passwd"), QStringLiteral("1"));
        t.settings.write(SettingsApp, Section, QStringLiteral("passwd"), QString());
        frmLogin form(t.services);
        Controls c(form);
        form.show();
        QTRY_VERIFY(!c.userName->isEnabled()); // activation, automatic OK included, has run by now
        QVERIFY(form.isVisible());
        QVERIFY(!form.LoginSucceeded());
        QVERIFY(t.messageBox.messages.isEmpty());
    }

    void restoringTheCheckBoxWritesNothing_data()
    {
        QTest::addColumn<QString>("saveFlag");
        QTest::addColumn<bool>("withPassword");
        QTest::newRow("checked, no password stored") << QStringLiteral("1") << false;
        QTest::newRow("unchecked, password stored") << QStringLiteral("0") << true;
    }
    void restoringTheCheckBoxWritesNothing()
    {
        QFETCH(QString, saveFlag);
        QFETCH(bool, withPassword);
        TestServices t;
        t.settings.write(SettingsApp, Section, QStringLiteral("issave_passwd"), saveFlag);
        if (withPassword)
            t.settings.write(SettingsApp, Section, QStringLiteral("passwd"), QStringLiteral("secret"));
        const QString file = t.settings.location(SettingsApp);
        const QByteArray before = testsupport::readFile(file);
        {
            frmLogin form(t.services);
            QCOMPARE(control<QCheckBox>(form, "chkpwdSave")->isChecked(), saveFlag == QStringLiteral("1"));
            QCOMPARE(control<QLineEdit>(form, "txtPassword")->text(),
                     withPassword ? QStringLiteral("secret") : QString());
        }
        QCOMPARE(testsupport::readFile(file), before);
    }

    void checkBoxStoresAndErasesAtOnce()
    {
        QVERIFY(m_root.addMac(QStringLiteral("hong"), Mac));
        QVERIFY(m_root.addUser(QStringLiteral("hong"), QStringLiteral("right")));
        TestServices t;
        t.settings.write(SettingsApp, Section, QStringLiteral("issave_passwd"), QStringLiteral("1"));
        t.settings.write(SettingsApp, Section, QStringLiteral("passwd"), QStringLiteral("wrong"));
        frmLogin form(t.services);
        Controls c(form);
        form.show();
        QTRY_COMPARE(t.messageBox.texts(), QStringList{WrongPassword});

        c.save->click(); // unchecked: the stored password goes at once
        QCOMPARE(t.settings.read(SettingsApp, Section, QStringLiteral("issave_passwd")), QStringLiteral("0"));
        QCOMPARE(remembered(t, QStringLiteral("absent")), QString());

        c.password->setText(QStringLiteral("right"));
        c.save->click(); // checked: the current text is stored at once
        QCOMPARE(t.settings.read(SettingsApp, Section, QStringLiteral("issave_passwd")), QStringLiteral("1"));
        QCOMPARE(remembered(t), QStringLiteral("right"));
    }

    void passwordBoxFocusRule_data()
    {
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("edit");
        QTest::addColumn<QString>("stored");
        QTest::newRow("edited and left, saving on") << true << true << QStringLiteral("new");
        QTest::newRow("focus only passes through") << true << false << QStringLiteral("old");
        QTest::newRow("edited, saving off") << false << true << QStringLiteral("old");
    }
    void passwordBoxFocusRule()
    {
        QFETCH(bool, checked);
        QFETCH(bool, edit);
        QFETCH(QString, stored);
        QVERIFY(m_root.addMac(QStringLiteral("hong"), Mac));
        TestServices t;
        t.settings.write(SettingsApp, Section, QStringLiteral("issave_passwd"),
                         checked ? QStringLiteral("1") : QStringLiteral("0"));
        t.settings.write(SettingsApp, Section, QStringLiteral("passwd"), QStringLiteral("old"));
        frmLogin form(t.services);
        Controls c(form);
        form.show();
        QTRY_VERIFY(!c.userName->isEnabled());
        // The saved password "old" was sent at once and refused; the dialog waits.
        if (checked)
            QTRY_COMPARE(t.messageBox.texts(), QStringList{WrongPassword});

        focus(c.password, QEvent::FocusIn);
        if (edit) {
            c.password->clear();
            QTest::keyClicks(c.password, QStringLiteral("new"));
        }
        focus(c.password, QEvent::FocusOut);
        QCOMPARE(remembered(t), stored);
    }

    void cancelLeavesLoginFailed()
    {
        QVERIFY(m_root.addMac(QStringLiteral("hong"), Mac));
        TestServices t;
        frmLogin form(t.services);
        Controls c(form);
        form.show();
        QTRY_VERIFY(!c.userName->isEnabled());
        c.cancel->click();
        QVERIFY(!form.isVisible());
        QVERIFY(!form.LoginSucceeded());
    }

    void serverDownHidesTheDialog()
    {
        modMain::DbServerHost = QStringLiteral("127.0.0.1:") + QString::number(testsupport::closedPort());
        TestServices t;
        frmLogin form(t.services);
        QVERIFY2(closesByItself(form), "the dialog waited for a person"); // it hid itself
        QCOMPARE(t.messageBox.texts(), QStringList{ServerDown});
        QVERIFY(!form.isVisible());
        QVERIFY(!form.LoginSucceeded());
        QVERIFY(!t.exit.exited);
    }

    void serverDownEndsStartUpWithoutMainWindow()
    {
        const QString down = QStringLiteral("127.0.0.1:") + QString::number(testsupport::closedPort());
        TestServices t;
        bool mainWindowShown = false;
        modMain::StartupSteps steps;
        steps.refreshServerAddressCache = [](const QString&) { return true; };
        steps.loadServerAddressCache = [] {};
        steps.getServerHost = [down](const QString& name) {
            return name == QStringLiteral("사내메신저DB서버") ? down : QString();
        };
        steps.runAutoUpdate = [](bool) { return true; };
        steps.runLoginDialog = [&t] {
            frmLogin dialog(t.services);
            return closesByItself(dialog) && dialog.LoginSucceeded();
        };
        steps.showMainWindow = [&mainWindowShown] { mainWindowShown = true; };

        modMain::Main(t.services, steps);
        QCOMPARE(modMain::DbServerHost, down);
        QCOMPARE(t.messageBox.texts(), QStringList{ServerDown});
        QVERIFY(t.exit.exited);
        QVERIFY(!mainWindowShown);
    }

    void databaseErrorIsReportedAndDialogStaysUsable()
    {
        QVERIFY(m_root.addMac(QStringLiteral("hong"), Mac));
        QVERIFY(m_root.addUser(QStringLiteral("hong"), QStringLiteral("pw")));
        TestServices t;
        frmLogin form(t.services);
        Controls c(form);
        form.show();
        QTRY_VERIFY(!c.userName->isEnabled());

        QVERIFY2(m_root.exec("RENAME TABLE zt_inhouse.user TO zt_inhouse.user_away"), qPrintable(m_root.error()));
        auto restore = qScopeGuard([this] { m_root.exec("RENAME TABLE zt_inhouse.user_away TO zt_inhouse.user"); });
        QTest::keyClicks(c.password, QStringLiteral("pw"));
        c.ok->click();
        QCOMPARE(t.messageBox.texts(),
                 QStringList{QStringLiteral("Error 1146 (Table 'zt_inhouse.user' doesn't exist) in procedure "
                                            "cmdOK_Click of Form frmLogin")});
        QVERIFY(form.isVisible());
        QVERIFY(!form.LoginSucceeded());

        restore.dismiss();
        QVERIFY2(m_root.exec("RENAME TABLE zt_inhouse.user_away TO zt_inhouse.user"), qPrintable(m_root.error()));
        c.ok->click();
        QVERIFY(form.LoginSucceeded());
    }

    void allowlistErrorIsReportedAndDialogHides()
    {
        QVERIFY2(m_root.exec("RENAME TABLE zt_inhouse.user_mac TO zt_inhouse.user_mac_away"),
                 qPrintable(m_root.error()));
        auto restore =
            qScopeGuard([this] { m_root.exec("RENAME TABLE zt_inhouse.user_mac_away TO zt_inhouse.user_mac"); });
        TestServices t;
        frmLogin form(t.services);
        QVERIFY2(closesByItself(form), "the dialog waited for a person");
        QCOMPARE(t.messageBox.texts(),
                 QStringList{QStringLiteral("Error 1146 (Table 'zt_inhouse.user_mac' doesn't exist) in procedure "
                                            "Form_Activate of Form frmLogin")});
        QVERIFY(!form.LoginSucceeded());
        QVERIFY(!t.exit.exited);
    }
};

QTEST_MAIN(tst_frmLogin)
#include "tst_frmlogin.moc"
