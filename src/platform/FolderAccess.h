#pragma once

#include "VbError.h"

#include <QString>

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

/** Makes and removes a file of its own in dir: the error met, none when it could. */
VbError tryWriteInFolder(const QString& dir);

/** Why no file can be made in dir: the trial's error when it is lasting, else none. */
VbError folderWriteBlock(const QString& dir);

} // namespace platform
