#pragma once

#include "Services.h"
#include "VbError.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class LoginSession;

/** The login dialog: admits only a PC on the allowlist, with the user id the allowlist assigns to it and the
 *  password the database server accepts. Start-up shows it modally and reads LoginSucceeded afterwards. */
class frmLogin final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmLogin)

public:
    explicit frmLogin(const platform::Services& services, QWidget* parent = nullptr);
    /** Unload: releases the login connection. */
    ~frmLogin() override;

    /** True only after a successful login. */
    bool LoginSucceeded() const { return m_loginSucceeded; }

    /** Shows the dialog modally; returns when it has hidden itself. */
    void showModal();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void Form_Activate();
    void queueActivation();
    void cmdOK_Click();
    void cmdCancel_Click();
    void chkpwdSave_Click();
    void txtPassword_LostFocus();
    /** Stores "passwd" as the remembered password (empty: none). */
    void storePassword(const QString& password);
    void reportError(const platform::VbError& error, const QString& procedure);

    platform::Services m_services;
    bool m_loginSucceeded = false;
    bool m_firstActivation = false;
    bool m_passwordEdited = false;
    QString m_plainRemembered;               // the remembered password when it was stored unprotected
    std::unique_ptr<LoginSession> m_session; // the login connection lives from first activation to unload

    QLabel* m_lblUserName = nullptr;
    QLabel* m_lblPassword = nullptr;
    QLineEdit* m_txtUserName = nullptr;
    QLineEdit* m_txtPassword = nullptr;
    QCheckBox* m_chkpwdSave = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdCancel = nullptr;
};
