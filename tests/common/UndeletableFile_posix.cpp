#include "UndeletableFile.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

namespace testsupport {

namespace {

// Root may delete from any folder whatever its mode: only the folder's immutable flag stops it.
bool setImmutable(const QByteArray& folder, bool on, qintptr& flags)
{
#ifdef __linux__
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int current = 0;
    bool done = false;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &current) == 0) {
        int wanted = on ? (current | FS_IMMUTABLE_FL) : static_cast<int>(flags);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &wanted) == 0;
        if (on)
            flags = current;
    }
    ::close(fd);
    return done;
#else
    static_cast<void>(folder), static_cast<void>(on), static_cast<void>(flags);
    return false;
#endif
}

} // namespace

// The file's folder is made so that its entries cannot change; the file itself stays writable.
UndeletableFile::UndeletableFile(const QString& path) : m_path(QFileInfo(path).absolutePath())
{
    const QByteArray folder = QFile::encodeName(m_path);
    if (::geteuid() == 0) {
        m_active = setImmutable(folder, true, m_restore);
        return;
    }
    struct stat st
    {
    };
    if (::stat(folder.constData(), &st) != 0)
        return;
    m_restore = st.st_mode & 07777;
    m_active = ::chmod(folder.constData(), 0555) == 0;
}

UndeletableFile::~UndeletableFile()
{
    if (!m_active)
        return;
    const QByteArray folder = QFile::encodeName(m_path);
    if (::geteuid() == 0)
        setImmutable(folder, false, m_restore);
    else
        ::chmod(folder.constData(), static_cast<mode_t>(m_restore));
}

bool UndeletableFile::active() const
{
    return m_active;
}

} // namespace testsupport
