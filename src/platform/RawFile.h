#pragma once

#include "Result.h"

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

/** An unbuffered file for streaming large files in big blocks. Failures come back as the classic runtime's
 *  file errors (a missing folder is "Path not found", a full disk "Disk full"), whatever the system said. */
class RawFile final
{
public:
    enum class Kind { Regular, Directory, Other };
    struct Info final
    {
        FileId id;
        qint64 size = 0;
        Kind kind = Kind::Other;
    };

    RawFile() = default;
    ~RawFile();
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;

    /** Opens path for reading without ever blocking (a FIFO does not hang the caller). */
    Result<void> openRead(const QString& path);
    /** Opens path for writing, creating it, without truncating it yet. */
    Result<void> openWrite(const QString& path);
    /** Makes and opens for writing a new file named stem + eight random hexadecimal digits + suffix, under a name
     *  nothing had (never an existing file, nor where a link points): the name it made. */
    Result<QString> createNew(const QString& stem, const QString& suffix = {});
    bool isOpen() const;

    /** Identity, size and kind of the open file. */
    Result<Info> info() const;
    /** Identity of the file path names, without opening it ("File not found" when there is none). */
    static Result<FileId> identityOf(const QString& path);
    /** Removes the name path (a link itself, not what it points to). */
    static Result<void> remove(const QString& path);
    /** Renames from to to in one step, replacing whatever has that name (a link itself, not what it points to). */
    static Result<void> replace(const QString& from, const QString& to);
    /** Whether replace() could put another file in the place of path, asked without changing anything: none when
     *  it could, or when there is no such file. A file another program holds open now counts as replaceable. */
    static Result<void> replaceable(const QString& path);

    /** Empties the open file. */
    Result<void> truncate();
    /** Reads up to size bytes: the count read, 0 at the end. */
    Result<qint64> read(char* data, qint64 size);
    /** Reads up to size bytes from offset, wherever the file position is: the count read, 0 at the end. */
    Result<qint64> readAt(qint64 offset, char* data, qint64 size);
    /** Writes all of data ("Disk full" when the disk is). */
    Result<void> writeAll(const char* data, qint64 size);
    /** Closes now; for a file written to, a failure means its data may be lost. */
    Result<void> close();

private:
    friend class ReplacementFile; // makes and swaps files with the handles

    // Makes path and opens it for writing only when nothing has that name: 0, or the errno value (EEXIST when taken).
    int createExclusive(const QString& path);

    qintptr m_handle = -1;
};

} // namespace platform
