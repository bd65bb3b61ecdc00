#pragma once

#include "Services.h"

#include <QStringList>

// The main window's check that a sibling tool is present and current.
namespace modFileVersionCheck {

/** Compares fileName in localDir with the update server's "_lastver.txt" for it (under subPath) and,
 *  when the local file is missing or older, downloads files into localDir. Never fails the caller:
 *  problems are shown as messages. */
void CheckFileVersion(const platform::Services& services, const QString& fileName, const QString& localDir,
                      const QString& subPath, const QStringList& files);

} // namespace modFileVersionCheck
