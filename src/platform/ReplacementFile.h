#pragma once

#include "RawFile.h"
#include "Result.h"

#include <QString>

#include <functional>

namespace platform {

/** New contents for a file, written to a new file that takes the file's name only once it is whole, so that until
 *  then the earlier file stays as it was. The new file keeps the earlier one's standing (its mode, group and
 *  access list on POSIX; its attributes and security on Windows); where there was none, it is what any new file in
 *  that folder is. A link at the name is replaced as a name, never the file it leads to. */
class ReplacementFile final
{
public:
    /** A new file that could not be removed again. */
    struct Unremoved final
    {
        QString path;
        /** The system's reason. */
        QString reason;
    };

    ReplacementFile() = default;
    /** Discards what was not committed. */
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    /** Makes ready to write new contents for path. A file there that the person may not write is refused
     *  ("Permission denied"), changing nothing. Where the new file could not take its place (a folder that takes no
     *  new file, or that keeps others from replacing it) or could not be given its standing, the file itself is
     *  emptied and written in place. Leftovers of earlier writes of path that no longer run are removed. source
     *  names the file the contents are made from: writes made from one source take turns where a new file is named
     *  and takes its place. */
    Result<void> open(const QString& path, const QString& source);
    /** Where the contents go, once open. */
    RawFile& file() { return m_new; }
    /** Whether they go into the earlier file itself, which a failure then leaves cut short. */
    bool inPlace() const { return m_inPlace; }
    /** Gives the whole new contents path's name, in one step. */
    Result<void> commit();
    /** Gives up, closing every file: a new file goes; one that could not be removed is said. */
    Unremoved discard();

private:
    // Per system. Opens for writing the file of its own at the name (not a link): true when there was one.
    Result<bool> openEarlier();
    // Makes the new file; it is given a name of its own now, or only at the swap.
    Result<void> makeNew(const QString& source);
    // Gives the new file the earlier one's standing; false when it cannot have it.
    bool keepStanding();
    // Whether name, taken, was left by a write that no longer runs, and is now removed.
    static bool removeLeftover(const QString& name);
    // Puts the new file in the earlier one's place and closes it.
    Result<void> swap();
    // Closes the new file and removes it.
    Unremoved dropNew();
    // Lets go of the source.
    void release();

    // A name of its own beside the file, claimed through place (0, or an errno value: EEXIST when taken), in place
    // of what an earlier write that no longer runs left there.
    Result<QString> claimName(const std::function<int(const QString&)>& place) const;

    QString m_path;
    RawFile m_new;
    RawFile m_earlier;
    // The new file's name, once it has one.
    QString m_newName;
    bool m_inPlace = false;
    // Windows: the source, held open for the turns.
    qintptr m_source = -1;
};

} // namespace platform
