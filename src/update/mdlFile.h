#pragma once

#include "Services.h"

#include <QString>

// File helpers of the update code.
namespace mdlFile {

/** The "FileVersion" text of the program at path (a Windows program's version resource, or the version note
 *  of one of our own Linux programs), from its first blank on if it has one. normalise keeps the last
 *  dot-separated part without leading zeros; otherwise the last part and its dot are dropped. On failure:
 *  empty text and, unless noMessage, the error report of GetFileVer. */
QString GetFileVer(const platform::Services& services, const QString& path, bool normalise, bool noMessage);

/** GetFileVer with normalise and no message: the version a program file carries, read from its bytes. */
QString ProgramVersion(const QString& path);

} // namespace mdlFile
