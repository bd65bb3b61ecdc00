#include "frmLogin.h"

#include "LoginSession.h"
#include "StoredSecret.h"
#include "UserDataProtection.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString SettingsApp = QStringLiteral("Norva 업무관리");
const QString SettingsSection = QStringLiteral("Config");
const QString KeySavePassword = QStringLiteral("issave_passwd");
const QString KeyPassword = QStringLiteral("passwd");
const QString FormName = QStringLiteral("frmLogin");
constexpr int FirstPaintWaitMs = 1000;

} // namespace

frmLogin::frmLogin(const platform::Services& services, QWidget* parent) : QDialog(parent), m_services(services)
{
    setObjectName(FormName);
    setWindowTitle(QStringLiteral("로그인"));
    setModal(true);

    m_lblUserName = new QLabel(QStringLiteral("아이디(&U):"), this);
    m_lblUserName->setObjectName(QStringLiteral("lblLabels_0"));
    m_lblPassword = new QLabel(QStringLiteral("암호(&P):"), this);
    m_lblPassword->setObjectName(QStringLiteral("lblLabels_1"));
    m_txtUserName = new QLineEdit(this);
    m_txtUserName->setObjectName(QStringLiteral("txtUserName"));
    m_txtPassword = new QLineEdit(this);
    m_txtPassword->setObjectName(QStringLiteral("txtPassword"));
    m_txtPassword->setEchoMode(QLineEdit::Password);
    m_lblUserName->setBuddy(m_txtUserName);
    m_lblPassword->setBuddy(m_txtPassword);
    m_chkpwdSave = new QCheckBox(QStringLiteral("저장"), this);
    m_chkpwdSave->setObjectName(QStringLiteral("chkpwdSave"));
    m_cmdOK = new QPushButton(QStringLiteral("확인"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setDefault(true);
    m_cmdCancel = new QPushButton(QStringLiteral("취소"), this);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    auto* grid = new QGridLayout;
    grid->addWidget(m_lblUserName, 0, 0);
    grid->addWidget(m_txtUserName, 0, 1);
    grid->addWidget(m_lblPassword, 1, 0);
    grid->addWidget(m_txtPassword, 1, 1);
    grid->addWidget(m_chkpwdSave, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(m_cmdOK, &QPushButton::clicked, this, &frmLogin::cmdOK_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmLogin::cmdCancel_Click);
    connect(m_chkpwdSave, &QCheckBox::stateChanged, this, &frmLogin::chkpwdSave_Click);
    connect(m_txtPassword, &QLineEdit::textChanged, this, [this] { m_passwordEdited = true; });
    m_txtPassword->installEventFilter(this);

    Form_Load();
}

frmLogin::~frmLogin() = default;

void frmLogin::showModal()
{
    exec();
}

void frmLogin::Form_Load()
{
    m_loginSucceeded = false;
    // A remembered password that cannot be opened here is no remembered password: the dialog asks for it.
    const platform::OpenedSecret remembered = platform::readStoredSecret(
        m_services.settings->read(SettingsApp, SettingsSection, KeyPassword, m_txtPassword->text()));
    m_txtPassword->setText(remembered.text);
    m_plainRemembered = remembered.kind == platform::StoredSecretKind::Plain && platform::userDataProtectionAvailable()
                            ? remembered.text
                            : QString();
    // Raises the check box's click, which stores nothing while the dialog is not visible.
    const bool save = m_services.settings->read(SettingsApp, SettingsSection, KeySavePassword, QStringLiteral("0"))
                          .trimmed()
                          .toInt() == 1;
    m_chkpwdSave->setChecked(save);
    m_firstActivation = true;
}

void frmLogin::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The activation work blocks while it talks to the database (up to the connect time-out), so it waits
    // for the dialog's first paint; a dialog the system never paints (minimised) starts it after a while.
    if (m_firstActivation)
        QTimer::singleShot(FirstPaintWaitMs, this, &frmLogin::queueActivation);
}

void frmLogin::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    if (m_firstActivation)
        queueActivation();
}

void frmLogin::queueActivation()
{
    // Queued, so that the painted dialog reaches the screen first.
    QMetaObject::invokeMethod(this, &frmLogin::Form_Activate, Qt::QueuedConnection);
}

void frmLogin::Form_Activate()
{
    if (!m_firstActivation)
        return;
    m_firstActivation = false;

    m_session = std::make_unique<LoginSession>(m_services);
    const platform::Result<LoginSession::Opening> opening = m_session->FindUser();
    if (!opening) {
        // Without the allowlist's answer there is nobody to log in.
        reportError(opening.error(), QStringLiteral("Form_Activate"));
        done(Rejected);
        return;
    }
    switch (*opening) {
    case LoginSession::Opening::UnknownPc:
        m_services.messageBox->show(QStringLiteral("허용되지 않은 컴퓨터입니다. 관리자에게 문의바랍니다.") +
                                    QStringLiteral("\r\n") + QStringLiteral("MAC: ") + m_session->macAddress());
        m_services.processExit->exitNow(0);
        done(Rejected);
        return;
    case LoginSession::Opening::ConnectFailed:
        // The connection-failure message has been shown.
        done(Rejected);
        return;
    case LoginSession::Opening::Allowed: break;
    }
    m_txtUserName->setText(m_session->userId());
    m_txtUserName->setEnabled(false);
    if (!m_session->Connect()) {
        // The connection-failure message has been shown, over the id the user could not log in as.
        done(Rejected);
        return;
    }

    if (!m_txtUserName->text().isEmpty() && !m_txtPassword->text().isEmpty())
        cmdOK_Click();
}

void frmLogin::cmdOK_Click()
{
    if (!m_session || m_session->userId().isEmpty())
        return;
    const platform::Result<LoginSession::Check> check = m_session->CheckPassword(m_txtPassword->text());
    if (!check) {
        reportError(check.error(), QStringLiteral("cmdOK_Click"));
        return;
    }
    if (*check == LoginSession::Check::WrongPassword) {
        m_services.messageBox->show(QStringLiteral("암호가 잘못되었습니다."), QStringLiteral("로그인"));
        m_txtPassword->setFocus();
        // {Home}+{End}: the whole password selected, ready to be typed over.
        m_txtPassword->home(false);
        m_txtPassword->end(true);
        return;
    }
    m_loginSucceeded = *check == LoginSession::Check::Accepted;
    // A plain password left by the classic program has proved itself: it is kept protected from now on.
    if (m_loginSucceeded && m_chkpwdSave->isChecked() && !m_plainRemembered.isEmpty() &&
        m_txtPassword->text() == m_plainRemembered)
        storePassword(m_plainRemembered);
    done(Accepted);
}

void frmLogin::cmdCancel_Click()
{
    done(Rejected);
}

void frmLogin::chkpwdSave_Click()
{
    if (!isVisible())
        return;
    const bool save = m_chkpwdSave->isChecked();
    m_services.settings->write(SettingsApp, SettingsSection, KeySavePassword,
                               save ? QStringLiteral("1") : QStringLiteral("0"));
    storePassword(save ? m_txtPassword->text() : QString());
}

void frmLogin::txtPassword_LostFocus()
{
    if (m_chkpwdSave->isChecked() && m_passwordEdited)
        storePassword(m_txtPassword->text());
}

void frmLogin::storePassword(const QString& password)
{
    // Protected for this user where the system can; a plain one left by the classic program goes with it.
    m_services.settings->write(SettingsApp, SettingsSection, KeyPassword, platform::storedFormOfSecret(password));
}

bool frmLogin::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_txtPassword) {
        if (event->type() == QEvent::FocusIn)
            m_passwordEdited = false;
        else if (event->type() == QEvent::FocusOut)
            txtPassword_LostFocus();
    }
    return QDialog::eventFilter(watched, event);
}

void frmLogin::reportError(const platform::VbError& error, const QString& procedure)
{
    m_services.messageBox->show(platform::errorReportText(error, procedure, platform::ReportOwner::Form, FormName));
}
