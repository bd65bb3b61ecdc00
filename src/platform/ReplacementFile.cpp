#include "ReplacementFile.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <utility>

namespace platform {

namespace {

// A file name cut to a length that leaves room for what a new file's name adds, whatever the characters' width on
// disk.
QString shortened(const QString& name)
{
    constexpr qsizetype Kept = 64;
    if (name.size() <= Kept)
        return name;
    return name.left(name[Kept - 1].isHighSurrogate() ? Kept - 1 : Kept);
}

} // namespace

ReplacementFile::~ReplacementFile()
{
    static_cast<void>(discard());
}

Result<void> ReplacementFile::open(const QString& path, const QString& source)
{
    static_cast<void>(discard());
    m_path = path;
    const Result<bool> earlier = openEarlier();
    if (!earlier)
        return earlier.error();
    // A file the person may write is written, as it always could be, where a new file cannot take its place: only
    // there can a failed write cost the earlier contents.
    bool inPlace = *earlier && !RawFile::replaceable(path);
    if (!inPlace) {
        const Result<void> made = makeNew(source);
        if (!made && (!*earlier || made.error().number() != vberr::PermissionDenied)) {
            static_cast<void>(discard());
            return made;
        }
        inPlace = !made || (*earlier && !keepStanding());
    }
    if (!inPlace)
        return {};
    static_cast<void>(dropNew());
    std::swap(m_new.m_handle, m_earlier.m_handle);
    m_inPlace = true;
    if (Result<void> emptied = m_new.truncate(); !emptied) {
        static_cast<void>(discard());
        return emptied;
    }
    return {};
}

Result<void> ReplacementFile::commit()
{
    if (Result<void> done = m_inPlace ? m_new.close() : swap(); !done)
        return done;
    static_cast<void>(discard());
    return {};
}

ReplacementFile::Unremoved ReplacementFile::discard()
{
    Unremoved left;
    if (!m_inPlace)
        left = dropNew();
    else if (m_new.isOpen())
        static_cast<void>(m_new.close());
    if (m_earlier.isOpen())
        static_cast<void>(m_earlier.close());
    release();
    m_inPlace = false;
    return left;
}

Result<QString> ReplacementFile::claimName(const std::function<int(const QString&)>& place) const
{
    // The first names are the same every time, so that the next write finds what a killed one left; where someone
    // holds them all, random ones follow.
    constexpr int Attempts = 16;
    constexpr int SameEveryTime = 4;
    const QString name = QFileInfo(m_path).fileName();
    const QString stem = m_path.left(m_path.size() - name.size()) + shortened(name) + u'.';
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        const quint32 tag = attempt < SameEveryTime ? quint32(attempt) : QRandomGenerator::global()->generate();
        const QString candidate = stem + QStringLiteral("%1.tmp").arg(tag, 8, 16, QLatin1Char('0'));
        int err = place(candidate);
        if (err == EEXIST && removeLeftover(candidate)) {
            err = place(candidate);
            if (err && err != EEXIST)
                continue; // the name is not free yet (Windows removes a file still open elsewhere later)
        }
        if (!err)
            return candidate;
        if (err != EEXIST)
            return vbErrorFromOpen(err, candidate);
    }
    return vbErrorFromErrno(EEXIST);
}

} // namespace platform
