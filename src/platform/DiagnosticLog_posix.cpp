#include "DiagnosticLog.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

QString diagnosticLogFolder()
{
    // XDG's base directory rules: a relative XDG_STATE_HOME is to be ignored.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/norvaquillet");
}

bool makeOwnerOnlyFolder(const QString& folder)
{
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    const QString parent = QDir::cleanPath(folder + QStringLiteral("/.."));
    if (!QDir(parent).exists() && !QDir().mkpath(parent))
        return false;
    if (!QDir().exists(folder) && !QDir().mkdir(folder, ownerOnly))
        return false;
    // A folder made before, or by hand, is narrowed too; one that is not the person's is not used.
    struct stat info
    {
    };
    const QByteArray path = QFile::encodeName(folder);
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return false;
    return (info.st_mode & 077) == 0 || ::chmod(path.constData(), 0700) == 0;
}

void restrictToOwner(const QString& file)
{
    ::chmod(QFile::encodeName(file).constData(), 0600);
}

} // namespace platform
