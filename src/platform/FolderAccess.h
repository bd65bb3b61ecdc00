#pragma once

#include "VbError.h"

#include <QString>
#include <QStringList>

namespace platform {

/** Whether new files can be made in a folder, as a trial write found. */
enum class FolderAccess {
    Writable,
    /** Every write there will fail for the same cause (refused, read-only medium, full disk, folder gone). */
    NotWritable,
    /** The trial failed for a cause that says nothing lasting about the folder; each write speaks for itself. */
    Unknown,
};

/** Judges a trial write's outcome: its error, none when the trial file could be made. */
FolderAccess judgeFolderTrial(const VbError& trialError);

/** Makes and removes a new file of its own in dir: the error met, none when it could. */
VbError tryWriteInFolder(const QString& dir);

/** Why the program cannot keep its files in dir: a new file cannot be made there, or one of the files named
 *  (those it replaces when it updates them) that are there cannot be replaced; the error when it is lasting, else
 *  none. Nothing that is already there is changed. */
VbError folderWriteBlock(const QString& dir, const QStringList& replacedNames);

} // namespace platform
