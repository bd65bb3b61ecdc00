#pragma once

#include <QString>
#include <QtGlobal>

namespace platform {

/** What identifies a file whatever name or link reaches it. */
struct FileId final
{
    quint64 volume = 0;
    quint64 index = 0;
    bool operator==(const FileId&) const = default;
};

/** An unbuffered file for streaming large files in big blocks. Failures come back as errno values
 *  (translated from the system's own codes where it has others), so callers report them one way. */
class RawFile final
{
public:
    enum class Kind { Regular, Directory, Other };

    RawFile() = default;
    ~RawFile();
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;

    /** Opens path for reading without ever blocking (a FIFO does not hang the caller). 0 or errno. */
    int openRead(const QString& path);
    /** Opens path for writing, creating it, without truncating it yet. 0 or errno. */
    int openWrite(const QString& path);
    bool isOpen() const;

    /** Identity, size and kind of the open file. 0 or errno. */
    int info(FileId& id, qint64& size, Kind& kind) const;
    /** Identity of the file path names, without opening it. 0 or errno (ENOENT when there is none). */
    static int identityOf(const QString& path, FileId& id);

    /** Empties the open file. 0 or errno. */
    int truncate();
    /** Reads up to size bytes: the count read (0 at the end), or -errno. */
    qint64 read(char* data, qint64 size);
    /** Writes all of data. 0 or errno (ENOSPC when the disk is full). */
    int writeAll(const char* data, qint64 size);
    /** Closes now. 0 or errno (for a file written to: its data may be lost). */
    int close();

private:
    qintptr m_handle = -1;
};

} // namespace platform
