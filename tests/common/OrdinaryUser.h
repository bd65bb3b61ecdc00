#pragma once

// POSIX only: how an ordinary user meets file permissions, which root passes whatever they say.
#include <QString>

#include <sys/types.h>

namespace testsupport {

/** The ids of the unprivileged account "nobody". */
struct OrdinaryIds
{
    uid_t uid = 65534;
    gid_t gid = 65534;
};
OrdinaryIds nobody();

/** While it lives, this process meets file permissions as an ordinary user: as root it takes nobody's effective
 *  ids (and gives them back), as anyone else nothing changes. */
class AsOrdinaryUser final
{
public:
    AsOrdinaryUser();
    ~AsOrdinaryUser();
    AsOrdinaryUser(const AsOrdinaryUser&) = delete;
    AsOrdinaryUser& operator=(const AsOrdinaryUser&) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_wasRoot = false;
    bool m_ok = true;
};

/** Lets everyone read and enter path; writable says whether everyone may also write there. */
bool setOpenTo(const QString& path, bool writable);

} // namespace testsupport
