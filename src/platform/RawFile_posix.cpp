#include "RawFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

int fd(qintptr handle)
{
    return static_cast<int>(handle);
}

// Files are opened non-blocking so that a FIFO cannot hang the open; regular files then go back to
// ordinary blocking I/O.
int clearNonBlocking(int f)
{
    const int flags = ::fcntl(f, F_GETFL);
    if (flags < 0 || ::fcntl(f, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return errno;
    return 0;
}

int openWith(qintptr& handle, const QString& path, int flags)
{
    const int f = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (f < 0)
        return errno;
    handle = f;
    struct stat st
    {
    };
    if (::fstat(f, &st) == 0 && S_ISREG(st.st_mode)) {
        if (const int err = clearNonBlocking(f))
            return err;
        if ((flags & O_ACCMODE) == O_RDONLY)
            ::posix_fadvise(f, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    return 0;
}

FileId idOf(const struct stat& st)
{
    return {static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)};
}

// 0 or errno as a result.
Result<void> outcome(int err)
{
    if (err)
        return vbErrorFromErrno(err);
    return {};
}

} // namespace

RawFile::~RawFile()
{
    if (isOpen())
        ::close(fd(m_handle));
}

Result<void> RawFile::openRead(const QString& path)
{
    if (const int err = openWith(m_handle, path, O_RDONLY))
        return vbErrorFromOpen(err, path);
    return {};
}

Result<void> RawFile::openWrite(const QString& path)
{
    if (const int err = openWith(m_handle, path, O_WRONLY | O_CREAT))
        return vbErrorFromOpen(err, path);
    return {};
}

int RawFile::createExclusive(const QString& path)
{
    return openWith(m_handle, path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW);
}

bool RawFile::isOpen() const
{
    return m_handle >= 0;
}

Result<RawFile::Info> RawFile::info() const
{
    struct stat st
    {
    };
    if (::fstat(fd(m_handle), &st) != 0)
        return vbErrorFromErrno(errno);
    const Kind kind = S_ISREG(st.st_mode) ? Kind::Regular : S_ISDIR(st.st_mode) ? Kind::Directory : Kind::Other;
    return Info{idOf(st), static_cast<qint64>(st.st_size), kind};
}

Result<FileId> RawFile::identityOf(const QString& path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return vbErrorFromErrno(errno);
    return idOf(st);
}

Result<void> RawFile::remove(const QString& path)
{
    return outcome(::unlink(QFile::encodeName(path).constData()) == 0 ? 0 : errno);
}

Result<void> RawFile::replace(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    // ext4 writes a file renamed over another out to disk there and then, which for a decode's output took two
    // thirds as long as the decode. Swapping the two names and removing the old file is as atomic, without that.
    struct stat existing
    {
    };
    if (::lstat(target.constData(), &existing) == 0 && !S_ISDIR(existing.st_mode)) {
        if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_EXCHANGE) == 0) {
            ::unlink(source.constData()); // what had the name: a file, or a link (not what it points to)
            return {};
        }
        if (errno != EINVAL && errno != ENOSYS && errno != ENOENT)
            return vbErrorFromErrno(errno);
    }
    return outcome(::rename(source.constData(), target.constData()) == 0 ? 0 : errno);
}

Result<void> RawFile::replaceName(const QString& from, const QString& to)
{
    // rename() replaces a link to a folder as it replaces any link: the name itself.
    return replace(from, to);
}

Result<void> RawFile::replaceable(const QString& path)
{
    struct stat file
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &file) != 0)
        return errno == ENOENT ? Result<void>() : vbErrorFromErrno(errno);
    const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
    struct stat folder
    {
    };
    if (::stat(dir.constData(), &folder) != 0)
        return vbErrorFromErrno(errno);
    if (::access(dir.constData(), W_OK | X_OK) != 0)
        return vbErrorFromErrno(errno);
    // In a folder with the sticky bit (a 1777 one) only the owner of a file, or of the folder, may rename over it.
    const uid_t me = ::geteuid();
    if ((folder.st_mode & S_ISVTX) && me != 0 && file.st_uid != me && folder.st_uid != me)
        return vbErrorFromErrno(EPERM);
    return {};
}

Result<void> RawFile::truncate()
{
    return outcome(::ftruncate(fd(m_handle), 0) == 0 ? 0 : errno);
}

Result<qint64> RawFile::read(char* data, qint64 size)
{
    for (;;) {
        const ssize_t n = ::read(fd(m_handle), data, static_cast<size_t>(size));
        if (n >= 0)
            return qint64(n);
        if (errno != EINTR)
            return vbErrorFromErrno(errno);
    }
}

Result<qint64> RawFile::readAt(qint64 offset, char* data, qint64 size)
{
    for (;;) {
        const ssize_t n = ::pread(fd(m_handle), data, static_cast<size_t>(size), static_cast<off_t>(offset));
        if (n >= 0)
            return qint64(n);
        if (errno != EINTR)
            return vbErrorFromErrno(errno);
    }
}

Result<void> RawFile::writeAll(const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd(m_handle), data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return vbErrorFromErrno(errno);
        }
        if (n == 0)
            return vbErrorFromErrno(ENOSPC);
        data += n;
        size -= n;
    }
    return {};
}

Result<void> RawFile::close()
{
    const int f = fd(m_handle);
    m_handle = -1;
    return outcome(::close(f) == 0 || errno == EINTR ? 0 : errno);
}

} // namespace platform
