#include "UndeletableFile.h"

#include "OrdinaryUser.h"

#include <QFileInfo>

namespace testsupport {

// The file's folder is made so that its entries cannot change; the file itself stays writable. Root may delete from
// any folder whatever its mode: only the folder's immutable flag stops it.
UndeletableFile::UndeletableFile(const QString& path) : m_path(QFileInfo(path).absolutePath())
{
    if (::geteuid() == 0) {
        m_active = setInodeFlag(m_path, 'i', true);
        return;
    }
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(m_path).constData(), &st) != 0)
        return;
    m_restore = st.st_mode & 07777;
    m_active = ::chmod(QFile::encodeName(m_path).constData(), 0555) == 0;
}

UndeletableFile::~UndeletableFile()
{
    if (!m_active)
        return;
    if (::geteuid() == 0) {
        setInodeFlag(m_path, 'i', false);
        return;
    }
    ::chmod(QFile::encodeName(m_path).constData(), static_cast<mode_t>(m_restore));
}

bool UndeletableFile::active() const
{
    return m_active;
}

} // namespace testsupport
