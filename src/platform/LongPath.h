#pragma once

#include <QString>

namespace platform {

/** The form of path to hand to the Windows file API (CreateFileW, MoveFileExW, ...): an absolute path
 *  ("C:\..." or "\\server\share\...", either separator) as an extended-length path ("\\?\C:\...",
 *  "\\?\UNC\server\share\..."), which the 260-character limit does not apply to. Such a path is taken by the
 *  system as it is, so this does what the system would otherwise do first: "/" becomes "\", empty and "."
 *  components go, ".." removes the component before it (never the drive or the share), one period ending a
 *  component goes, and so do the periods and blanks ending the last one (unless a separator follows it). Only a
 *  path beginning exactly with "\\?\" is in that form already and is returned unchanged ("//?/C:/x" is not: the
 *  system normalises it, and so does this), as is one naming a device ("\\.\") and a relative one. Pure text: it
 *  touches no file, and means the same on every system. */
QString extendedLengthPath(const QString& path);

} // namespace platform
