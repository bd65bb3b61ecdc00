#include "FileDialogQt.h"

#include <QApplication>
#include <QFileDialog>

namespace platform {

QStringList FileDialogQt::chooseFilesToOpen(const QString& startFolder, const QStringList& filters)
{
    // An empty caption leaves the system's own ("열기" on a Korean Windows).
    return QFileDialog::getOpenFileNames(QApplication::activeWindow(), QString(), startFolder,
                                         filters.join(QStringLiteral(";;")));
}

} // namespace platform
