#include "Executables.h"

#include <QDir>
#include <QFile>

#include <cstdio>

#include <sys/stat.h>

namespace platform {

bool isExecutableRunning(const QString& path)
{
    struct stat target
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &target) != 0)
        return false;
    // /proc/PID/exe leads to the file each process runs; compared by identity, a rename or a second link
    // to the same file still counts. Processes of other users cannot be looked into and are no concern.
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        bool isNumber = false;
        pid.toLongLong(&isNumber);
        if (!isNumber)
            continue;
        struct stat running
        {
        };
        const QByteArray exe = "/proc/" + pid.toLatin1() + "/exe";
        if (::stat(exe.constData(), &running) == 0 && running.st_dev == target.st_dev &&
            running.st_ino == target.st_ino)
            return true;
    }
    return false;
}

bool makeRunnable(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info
    {
    };
    if (::stat(name.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    // Whoever may read it may run it, as chmod +x does under the usual umask.
    const mode_t read = info.st_mode & (S_IRUSR | S_IRGRP | S_IROTH);
    const mode_t run = S_IXUSR | (read & S_IRGRP ? S_IXGRP : 0) | (read & S_IROTH ? S_IXOTH : 0);
    if ((info.st_mode & run) == run)
        return true;
    return ::chmod(name.constData(), (info.st_mode & 07777) | run) == 0;
}

bool replaceFile(const QString& from, const QString& to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

} // namespace platform
