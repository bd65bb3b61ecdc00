#include "DiagnosticLog.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {

QString diagnosticLogFolder()
{
    // The per-user local application data folder (%LOCALAPPDATA%): not roamed, and readable by its owner (and the
    // system and administrators) only.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/NorvaQuillet/logs");
}

bool makeOwnerOnlyFolder(const QString& folder)
{
    // Inside the person's own profile the folder inherits the profile's access list: nothing to narrow.
    return QDir().mkpath(folder) && QFileInfo(folder).isDir();
}

void restrictToOwner(const QString&) {}

} // namespace platform
