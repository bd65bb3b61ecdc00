#include "RawFile.h"

#include <QRandomGenerator>

#include <cerrno>

namespace platform {

Result<QString> RawFile::createNew(const QString& stem, const QString& suffix)
{
    // A name that is taken (by chance, or by someone who guessed it) is passed over for another.
    constexpr int Attempts = 16;
    for (int attempt = 1;; ++attempt) {
        const QString path =
            stem + QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')) + suffix;
        const int err = createExclusive(path);
        if (!err)
            return path;
        if (err != EEXIST || attempt == Attempts)
            return vbErrorFromOpen(err, path);
    }
}

RawFile::NameStep RawFile::nameStepFor(quint32 windowsAttributes)
{
    constexpr quint32 Nothing = 0xFFFFFFFF, Directory = 0x10, ReparsePoint = 0x400;
    if (windowsAttributes == Nothing || !(windowsAttributes & Directory))
        return NameStep::Rename; // a file, or a link to one: the rename replaces the name itself
    return (windowsAttributes & ReparsePoint) ? NameStep::RemoveLinkFirst : NameStep::Refuse;
}

} // namespace platform
