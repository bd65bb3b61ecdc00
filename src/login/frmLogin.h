#pragma once

#include "Services.h"

#include <QDialog>

// Placeholder until the login dialog is built: it admits everyone without showing itself.
class frmLogin final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmLogin)

public:
    explicit frmLogin(const platform::Services& services, QWidget* parent = nullptr);

    /** True only after a successful login. */
    bool LoginSucceeded() const { return m_loginSucceeded; }

    /** Shows the dialog modally; returns when it has hidden itself. */
    void showModal();

private:
    platform::Services m_services;
    bool m_loginSucceeded = false;
};
