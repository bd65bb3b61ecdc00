#include "FolderAccess.h"

#include "RawFile.h"

#include <QCoreApplication>
#include <QFile>

namespace platform {

FolderAccess judgeFolderTrial(const VbError& trialError)
{
    switch (trialError.number()) {
    case 0: return FolderAccess::Writable;
    case vberr::PermissionDenied:
    case vberr::DiskFull:
    case vberr::PathNotFound:
    case vberr::FileNotFound:
    case vberr::DeviceIoError: return FolderAccess::NotWritable;
    default: return FolderAccess::Unknown;
    }
}

VbError tryWriteInFolder(const QString& dir)
{
    // The name carries the process id: two copies of the program starting at once do not meet.
    const QString path = dir + QStringLiteral("/.norvaquillet-write-test-%1").arg(QCoreApplication::applicationPid());
    Result<void> result;
    {
        RawFile file;
        result = file.openWrite(path);
        if (result)
            result = file.writeAll("x", 1);
        if (result)
            result = file.close();
    }
    QFile::remove(path);
    return result.error();
}

VbError folderWriteBlock(const QString& dir)
{
    const VbError trial = tryWriteInFolder(dir);
    return judgeFolderTrial(trial) == FolderAccess::NotWritable ? trial : VbError();
}

} // namespace platform
