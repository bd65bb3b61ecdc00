#include "ReplacementFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace platform {

namespace {

// The access list, where the file system keeps one.
constexpr char AccessAcl[] = "system.posix_acl_access";

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether the name still leads to the file open as f.
bool named(int f, const QString& name)
{
    struct stat opened
    {
    };
    struct stat there
    {
    };
    return ::fstat(f, &opened) == 0 && ::lstat(native(name).constData(), &there) == 0 && sameFile(opened, there);
}

} // namespace

// Every new file is locked (flock) by its write from before it has a name until it has taken the earlier one's place,
// so a file under such a name that nobody holds locked is a leftover: a killed write's, or what a swap has just left
// there. What is not a file (a link) is never a write's.
bool ReplacementFile::removeLeftover(const QString& name)
{
    const QByteArray path = native(name);
    const int f = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (f < 0)
        return errno == ENOENT || (errno == ELOOP && ::unlink(path.constData()) == 0);
    struct stat st
    {
    };
    const bool removed = ::fstat(f, &st) == 0 &&
                         (!S_ISREG(st.st_mode) || (::flock(f, LOCK_EX | LOCK_NB) == 0 && named(f, name))) &&
                         ::unlink(path.constData()) == 0;
    ::close(f);
    return removed;
}

Result<bool> ReplacementFile::openEarlier()
{
    struct stat st
    {
    };
    if (::lstat(native(m_path).constData(), &st) != 0)
        return errno == ENOENT ? Result<bool>(false) : Result<bool>(vbErrorFromErrno(errno));
    if (!S_ISREG(st.st_mode))
        return false; // a link (or a FIFO) is replaced as a name
    // Opening it for writing asks what writing it will meet (its permissions and owner, a read-only mount, an
    // immutable or append-only file), and changes nothing.
    const int f = ::open(native(m_path).constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (f < 0)
        return vbErrorFromOpen(errno, m_path);
    m_earlier.m_handle = f;
    return true;
}

Result<void> ReplacementFile::makeNew(const QString&)
{
    // A file without a name, which none but this write can see or remove, and which a killed write leaves nowhere.
    const int f = ::open(native(QFileInfo(m_path).path()).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode_t(0666));
    if (f >= 0) {
        m_new.m_handle = f;
        ::flock(f, LOCK_EX);
        return {};
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return vbErrorFromOpen(errno, m_path);
    // A file system without them: a named file, locked at once. In the moment before the lock another write's
    // leftover check may take it for a leftover and remove it; it is then made again.
    const Result<QString> name = claimName([this](const QString& candidate) {
        if (const int err = m_new.createExclusive(candidate))
            return err;
        const int made = static_cast<int>(m_new.m_handle);
        if (::flock(made, LOCK_EX) == 0 && named(made, candidate))
            return 0;
        static_cast<void>(m_new.close());
        return EEXIST;
    });
    if (!name)
        return name.error();
    m_newName = *name;
    return {};
}

bool ReplacementFile::keepStanding()
{
    const int from = static_cast<int>(m_earlier.m_handle);
    const int to = static_cast<int>(m_new.m_handle);
    struct stat earlier
    {
    };
    if (::fstat(from, &earlier) != 0)
        return false;
    // Only root can give a file to someone else; a group the person is not in cannot be given.
    const uid_t owner = ::geteuid() == 0 ? earlier.st_uid : uid_t(-1);
    if (::fchown(to, owner, earlier.st_gid) != 0)
        return false;
    const ssize_t size = ::fgetxattr(from, AccessAcl, nullptr, 0);
    if (size < 0) {
        // None: nor one that the folder's default list gave the new file.
        if ((errno != ENODATA && errno != ENOTSUP) ||
            (::fremovexattr(to, AccessAcl) != 0 && errno != ENODATA && errno != ENOTSUP))
            return false;
    } else {
        QByteArray acl(size, Qt::Uninitialized);
        if (::fgetxattr(from, AccessAcl, acl.data(), acl.size()) != size ||
            ::fsetxattr(to, AccessAcl, acl.constData(), acl.size(), 0) != 0)
            return false;
    }
    // After the list, which sets the group's bits from its mask.
    return ::fchmod(to, earlier.st_mode & 07777) == 0;
}

Result<void> ReplacementFile::swap()
{
    const int f = static_cast<int>(m_new.m_handle);
    if (m_newName.isEmpty()) {
        // The name comes only now that the file is whole; linkat through /proc needs no privilege.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(f);
        const Result<QString> name = claimName([&](const QString& candidate) {
            return ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, native(candidate).constData(), AT_SYMLINK_FOLLOW) == 0
                       ? 0
                       : errno;
        });
        if (!name)
            return name.error();
        m_newName = *name;
    }
    // ext4 writes out a file renamed over another there and then, which took two thirds as long as the decode it
    // ended. Swapping the two names and then removing what had the output's name is as atomic, without that. Nothing is
    // flushed to disk first either: the contents can be made again from their source, and the time a flush takes
    // matters more than what a power cut could cost.
    const QByteArray from = native(m_newName);
    const QByteArray to = native(m_path);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0)
        removeLeftover(m_newName); // unless another write has put its own there meanwhile
    else if ((errno != ENOENT && errno != EINVAL && errno != ENOSYS) || ::rename(from.constData(), to.constData()) != 0)
        return vbErrorFromErrno(errno);
    m_newName.clear();
    return m_new.close();
}

ReplacementFile::Unremoved ReplacementFile::dropNew()
{
    Unremoved left;
    if (!m_newName.isEmpty() && ::unlink(native(m_newName).constData()) != 0 && errno != ENOENT)
        left = {m_newName, qt_error_string(errno)};
    m_newName.clear();
    if (m_new.isOpen())
        static_cast<void>(m_new.close());
    return left;
}

void ReplacementFile::release() {}

} // namespace platform
