#include "MessageBoxQt.h"

#include "AppInfo.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {

void MessageBoxQt::show(const QString& text, const QString& title, MessageIcon icon)
{
    QMessageBox box(icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                    title.isEmpty() ? QString::fromUtf16(AppTitle) : title, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

} // namespace platform
