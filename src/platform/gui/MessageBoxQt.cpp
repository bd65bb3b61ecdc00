#include "MessageBoxQt.h"

#include "AppInfo.h"
#include "DiagnosticLog.h"
#include "LogCategories.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {

void MessageBoxQt::show(const QString& text, const QString& title, MessageIcon icon)
{
    // On disk before the person sees it; a quoted part of a server's message stays out (it may quote a statement).
    qCWarning(lcUi).noquote() << "message box:" << withoutQuotedText(text);
    QMessageBox box(icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                    title.isEmpty() ? QString::fromUtf16(AppTitle) : title, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

} // namespace platform
