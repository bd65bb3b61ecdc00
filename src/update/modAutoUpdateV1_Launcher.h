#pragma once

#include "Result.h"
#include "Services.h"

#include <QString>

// Keeps the sibling tools current, runs the version checker on the program and hands over to a newer build.
namespace modAutoUpdateV1_Launcher {

/** The version checker and the file replacer, under the names the update server uses. */
inline constexpr char16_t CheckerName[] = u"RendloV1.exe";
inline constexpr char16_t ReplacerName[] = u"Swapnik.exe";

/** "http://" + UpdateServerHost + "/download/자동업데이트_v1/"; set by every AutoUpdaterSelfUpdate run, and read
 *  again when the replacer has to be fetched at the hand-over. */
extern QString UpdateBaseUrl;

/** The update folder's address on host (which may carry ":port"), with its trailing slash. */
QString UpdateBaseUrlFor(const QString& host);

/** fileName up to its last "." + "_lastver.txt" (RendloV1.exe gives RendloV1_lastver.txt). */
QString VersionFileName(const QString& fileName);

/** The leading decimal number of text ("." as the point; 0 when there is none), not rounded. */
double LeadingNumber(const QString& text);

/** A version file's value: its leading number rounded to 32 bits with halves to even ("12.5" 12, "13.5" 14).
 *  Throws platform::VbError Overflow (6) beyond 32 bits. */
qint32 VersionValue(const QString& text);

/** The revision part (after the last ".") of the program at path, or "0" when there is no such file.
 *  Empty when the file carries no readable version. */
QString LocalRevisionText(const platform::Services& services, const QString& path);

/** How a local file stands against the build the update server offers. */
enum class Freshness {
    Current,    // as new as the server's, or newer
    Outdated,   // older than the server's (or missing, where that counts as outdated)
    Unreadable, // the server's version file could not be read, or holds only blanks
};

/** What a missing local file counts as. */
enum class MissingFile {
    RevisionZero,
    Outdated,
};

/** The one version rule: reads fileName's version file from folderUrl (trimmed), takes its value and compares
 *  it with the revision of the local file at localPath. The error is Overflow (6) when the server's number
 *  does not fit 32 bits. */
platform::Result<Freshness> CompareWithServer(const platform::Services& services, const QString& folderUrl,
                                              const QString& fileName, const QString& localPath, MissingFile missing);

/** Fetches the checker and the replacer again when the local checker is missing or older than the server's.
 *  True when the checker is current or both files were saved. */
bool AutoUpdaterSelfUpdate(const platform::Services& services);

/** Keeps the sibling tools current (unless skipSelfUpdate), runs the version checker and, when it left a
 *  "New_" build, starts the file replacer (fetched once more when it is missing) and ends the program. Returns
 *  False on every path that returns. */
bool RunAutoUpdate(const platform::Services& services, bool skipSelfUpdate);

} // namespace modAutoUpdateV1_Launcher
