#pragma once

#include "WaitWindow.h"

#include <QString>
#include <QStringList>

// The helpers through which the update code talks to the update server. None shows a message: failures come
// back as empty text or false, and the caller reports them. Given a wait window, each says there what it waits
// for when the server is slow, and a skipped wait is a failed transfer.
namespace modAutoUpdateV1_Download {

/** The first bytes of url's body, at most 20, one character per byte; empty when nothing could be read
 *  (no answer, a status other than 2xx, a cut-off body). */
QString OpenUrl(const QString& url, platform::IWaitWindow* wait = nullptr);

/** True when bytes are a whole program this system can run: a complete PE image, or, where programs are ELF
 *  files or scripts, a complete ELF file or a text starting with "#!". */
bool IsCompleteProgram(const QByteArray& bytes);

/** Saves url's body over localPath; true when saved. A failed download leaves localPath as it was: so does
 *  an empty body, and, for a name ending in ".exe", a body that is not a complete program. */
bool DownloadFile(const QString& url, const QString& localPath, platform::IWaitWindow* wait = nullptr);

/** Saves baseUrl + "/" + name to localDir + "/" + name for each name in order, stopping at an empty name
 *  (true). False at the first download that fails (its index in failedIndex); files saved before stay. */
bool DownloadFiles(const QString& baseUrl, const QString& localDir, const QStringList& names,
                   qsizetype* failedIndex = nullptr, platform::IWaitWindow* wait = nullptr);

} // namespace modAutoUpdateV1_Download
