#include "OrdinaryUser.h"

#include <QFile>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

OrdinaryIds nobody()
{
    OrdinaryIds ids;
    if (const passwd* entry = ::getpwnam("nobody")) {
        ids.uid = entry->pw_uid;
        ids.gid = entry->pw_gid;
    }
    return ids;
}

AsOrdinaryUser::AsOrdinaryUser() : m_wasRoot(::geteuid() == 0)
{
    if (m_wasRoot) {
        const OrdinaryIds ids = nobody();
        // The group first: without root's user id it could no longer be changed.
        m_ok = ::setegid(ids.gid) == 0 && ::seteuid(ids.uid) == 0;
    }
}

AsOrdinaryUser::~AsOrdinaryUser()
{
    if (m_wasRoot) {
        [[maybe_unused]] const int user = ::seteuid(0);
        [[maybe_unused]] const int group = ::setegid(0);
    }
}

bool setOpenTo(const QString& path, bool writable)
{
    return ::chmod(QFile::encodeName(path).constData(), writable ? 0777 : 0555) == 0;
}

} // namespace testsupport
