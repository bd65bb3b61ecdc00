#pragma once

// POSIX only: file permissions as an ordinary user meets them; root passes them whatever they say.
#include <QFile>
#include <QProcess>
#include <QString>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

/** The ids of the unprivileged account "nobody". */
inline passwd nobody()
{
    passwd ids{};
    ids.pw_uid = ids.pw_gid = 65534;
    if (const passwd* entry = ::getpwnam("nobody"))
        ids = *entry;
    return ids;
}

/** While it lives, this process meets file permissions as an ordinary user: as root it takes nobody's real and
 *  effective ids (access(), which Qt asks, goes by the real ones) and gives them back; as anyone else nothing
 *  changes. */
class AsOrdinaryUser final
{
public:
    // The group first: without root's user id it could no longer be changed. Root stays the saved id, to come back.
    AsOrdinaryUser()
        : m_ok(!m_wasRoot || (::setresgid(nobody().pw_gid, nobody().pw_gid, 0) == 0 &&
                              ::setresuid(nobody().pw_uid, nobody().pw_uid, 0) == 0))
    {
    }
    ~AsOrdinaryUser()
    {
        if (m_wasRoot && ::setresuid(0, 0, 0) == 0) [[maybe_unused]]
            const int group = ::setresgid(0, 0, 0);
    }
    AsOrdinaryUser(const AsOrdinaryUser&) = delete;
    AsOrdinaryUser& operator=(const AsOrdinaryUser&) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_wasRoot = ::geteuid() == 0;
    bool m_ok;
};

/** Lets everyone read and enter path; writable says whether everyone may also write there. */
inline bool setOpenTo(const QString& path, bool writable)
{
    return ::chmod(QFile::encodeName(path).constData(), writable ? 0777 : 0555) == 0;
}

/** Sets or clears a file flag of path with chattr ('i' immutable, 'a' append only; root only): true when done. */
inline bool setInodeFlag(const QString& path, char flag, bool on)
{
    return QProcess::execute(QStringLiteral("chattr"),
                             {QString::fromLatin1(on ? "+" : "-") + QLatin1Char(flag), path}) == 0;
}

} // namespace testsupport
