#include "FolderAccess.h"

#include "RawFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

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
    // A file of that name that is there already is someone else's: the trial neither writes to it nor removes it.
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        return {};
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

VbError folderWriteBlock(const QString& dir, const QStringList& replacedNames)
{
    const VbError trial = tryWriteInFolder(dir);
    if (judgeFolderTrial(trial) == FolderAccess::NotWritable)
        return trial;
    for (const QString& name : replacedNames) {
        if (name.isEmpty())
            continue;
        const VbError replace = RawFile::replaceable(dir + u'/' + name).error();
        if (judgeFolderTrial(replace) == FolderAccess::NotWritable)
            return replace;
    }
    return {};
}

} // namespace platform
