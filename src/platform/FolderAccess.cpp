#include "FolderAccess.h"

#include "RawFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

// Whether every write to the folder will meet the same error.
bool lasting(const VbError& error)
{
    switch (error.number()) {
    case vberr::PermissionDenied:
    case vberr::DiskFull:
    case vberr::PathNotFound:
    case vberr::FileNotFound:
    case vberr::DeviceIoError: return true;
    default: return false;
    }
}

FileFlag fileFlag(const QString& path)
{
#ifdef Q_OS_LINUX
    const int f = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (f < 0)
        return FileFlag::None;
    int flags = 0;
    const bool read = ::ioctl(f, FS_IOC_GETFLAGS, &flags) == 0;
    ::close(f);
    if (read && (flags & FS_IMMUTABLE_FL))
        return FileFlag::Immutable;
    if (read && (flags & FS_APPEND_FL))
        return FileFlag::AppendOnly;
#else
    Q_UNUSED(path)
#endif
    return FileFlag::None;
}

VbError fileBlock(const UpdatedFile& file)
{
    if (file.exists && file.directory)
        return makeVbError(vberr::PathFileAccessError, file.path);
    // Said by name: the permissions, which allow the write, would not explain the refusal.
    if (file.flag != FileFlag::None) {
        return VbError(vberr::PermissionDenied,
                       vbErrorDescription(vberr::PermissionDenied) +
                           (file.flag == FileFlag::Immutable ? QStringLiteral(": the file is immutable")
                                                             : QStringLiteral(": the file is append-only")),
                       file.path);
    }
    if (file.exists && !file.writable)
        return makeVbError(vberr::PermissionDenied, file.path);
    if (file.newFileRemoved.isError())
        return makeVbError(file.newFileRemoved.number(), file.path);
    for (const VbError& error : {file.newFileMade, file.replacing}) {
        if (lasting(error))
            return makeVbError(error.number(), file.path);
    }
    return {};
}

// What the update of dir/name will meet, asked as QSaveFile asks; a trial file left where a link leads goes to left.
UpdatedFile updatedFile(const QString& dir, const QString& name, QString& left)
{
    UpdatedFile file;
    file.path = dir + u'/' + name;
    const QFileInfo info(file.path);
    file.exists = info.exists();
    file.directory = info.isDir();
    file.writable = !file.exists || info.isWritable();
    QString target = file.path;
    if (info.isSymLink()) {
        QFileInfo hop = info;
        int depth = 128;
        while (--depth && hop.isSymLink())
            hop.setFile(hop.symLinkTarget());
        if (depth > 0)
            target = hop.filePath();
    }
    const QString targetDir = QFileInfo(target).absolutePath();
    if (QDir(targetDir) != QDir(dir)) {
        const TrialWrite there = tryWriteInFolder(targetDir);
        file.newFileMade = there.made;
        file.newFileRemoved = there.removed;
        if (left.isEmpty())
            left = there.left;
    }
    file.replacing = RawFile::replaceable(target).error();
    if (file.exists && !file.directory)
        file.flag = fileFlag(target);
    return file;
}

} // namespace

VbError judgeFolderTrial(const FolderTrial& trial)
{
    // A folder that keeps a file just made there will not let an update replace one either.
    if (trial.removed.isError())
        return trial.removed;
    if (lasting(trial.made))
        return trial.made;
    for (const UpdatedFile& file : trial.files) {
        if (const VbError block = fileBlock(file); block.isError())
            return block;
    }
    return {};
}

TrialWrite tryWriteInFolder(const QString& dir)
{
    TrialWrite trial;
    RawFile file;
    const Result<QString> made = file.createNew(dir + QStringLiteral("/.norvaquillet-write-test-"));
    if (!made) {
        trial.made = made.error();
        return trial;
    }
    Result<void> written = file.writeAll("x", 1);
    const Result<void> closed = file.close();
    if (written)
        written = closed;
    trial.made = written.error();
    if (const Result<void> removed = RawFile::remove(*made); !removed) {
        trial.removed = removed.error();
        trial.left = *made;
    }
    return trial;
}

FolderWriteBlock folderWriteBlock(const QString& dir, const QStringList& replacedNames)
{
    const TrialWrite own = tryWriteInFolder(dir);
    FolderTrial trial{own.made, own.removed, {}};
    QString left = own.left;
    // Where no file can be made at all, the files there need no asking.
    if (!lasting(own.made)) {
        for (const QString& name : replacedNames) {
            if (!name.isEmpty())
                trial.files.append(updatedFile(dir, name, left));
        }
    }
    return {judgeFolderTrial(trial), left};
}

} // namespace platform
