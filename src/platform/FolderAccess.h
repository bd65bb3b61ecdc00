#pragma once

#include "VbError.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace platform {

/** A file flag that keeps a file from being replaced whatever its permissions say (Linux: chattr +a, +i). */
enum class FileFlag { None, AppendOnly, Immutable };

/** What the update of one file the program replaces will meet, as the download's save (QSaveFile) meets it: it
 *  refuses a file it may not write and a folder, and writes a new file beside what a link leads to, which then
 *  takes that name. */
struct UpdatedFile final
{
    QString path;
    bool exists = false;
    /** Whether the file may be written (its permissions and owner, the read-only attribute, an immutable file). */
    bool writable = true;
    bool directory = false;
    FileFlag flag = FileFlag::None;
    /** Making a new file where a link leads, when that is another folder, and removing it: the errors met. */
    VbError newFileMade;
    VbError newFileRemoved;
    /** Putting another file in the place of what the name leads to (RawFile::replaceable); none when it could. */
    VbError replacing;
};

/** What the start-up trial met in the program's folder. */
struct FolderTrial final
{
    /** Making a new file of its own there, and removing it again: the errors met, none when done. */
    VbError made;
    VbError removed;
    QList<UpdatedFile> files;
};

/** Why the program cannot keep its files in a folder, from what the trial met there: the cause when it is lasting
 *  (a refusal, a full disk, the folder gone, a failing device), its source the file it concerns, else none. A
 *  cause that says nothing lasting (any other error) leaves each write to speak for itself. */
VbError judgeFolderTrial(const FolderTrial& trial);

/** A trial write: a new file of its own made in dir under a fresh name and removed again. */
struct TrialWrite final
{
    VbError made;
    VbError removed;
    /** The trial's file when it could not be removed. */
    QString left;
};
TrialWrite tryWriteInFolder(const QString& dir);

/** What the start-up trial found: why the program cannot keep its files in the folder, and where it left a
 *  file of its own that it could not remove. */
struct FolderWriteBlock final
{
    VbError cause;
    QString trialFileLeft;
};

/** The start-up trial of dir: a new file of the trial's own is made and removed there, and each of the files
 *  named (those the program replaces when it updates them) is asked whether its update could replace it. Nothing
 *  that was there is changed. */
FolderWriteBlock folderWriteBlock(const QString& dir, const QStringList& replacedNames);

} // namespace platform
