#pragma once

#include "MinisignVerifier.h"
#include "WaitWindow.h"

#include <QString>
#include <QStringList>

#include <optional>

// The helpers through which the update code talks to the update server. None shows a message: failures come
// back as empty text or false, and the caller reports them. Given a wait window, each says there what it waits
// for when the server is slow, and a skipped wait is a failed transfer.
//
// A build given the publisher's keys keeps a downloaded file only when the minisign signature the server
// publishes beside it (its address + ".minisig") verifies against one of them.
namespace modAutoUpdateV1_Download {

/** Replaces the publisher's minisign public keys (";"-separated) for this process: a test's own, or none (then
 *  downloads are not verified). Until set, they are the build's (ZT_UPDATE_PUBLIC_KEYS). */
void SetPublisherKeys(const QString& keys);

/** The most a download may bring: sixteen times the largest program this project builds (16 MiB). */
inline constexpr qint64 MaxDownloadBytes = 256 * 1024 * 1024;

/** Why a program file is not taken, or not run. */
struct Refusal final
{
    enum class Kind {
        Signature, // see verdict (and signedFor when it is OtherFile)
        NotNewer,  // a version not above the installed one (see offered, installed)
        TooLarge,  // more than MaxDownloadBytes
    };
    Kind kind = Kind::Signature;
    minisign::Verdict verdict = minisign::Verdict::Verified;
    /** The file the signature was made for, as its trusted comment names it. */
    QString signedFor;
    /** The versions compared (empty: none could be read). */
    QString offered, installed;
};

/** Which versions of a program may replace the installed one (the one that runs, for a new build of the program
 *  itself). A build without keys takes any. */
enum class VersionRule {
    Newer,
    NotOlder, // the file replacer: fetched again whenever the checker is
};

/** Whether the program at path may run: in a build with keys, the signature kept beside it (path + ".minisig")
 *  must verify and name path's file. Checked once for a file as it is (a file changed since is checked anew); a
 *  file that is not there is not refused. */
std::optional<Refusal> CheckInstalled(const QString& path);

/** Whether the file at localPath is the build the publisher signed as url's file (its signature published at
 *  url + ".minisig") and newer than installedVersion, the version of the program it is to replace. */
std::optional<Refusal> VerifyPublished(const QString& localPath, const QString& url, const QString& installedVersion,
                                       platform::IWaitWindow* wait = nullptr);

/** The message that fileName arrived but was discarded, and why. */
QString SignatureRefusedText(const QString& fileName, const Refusal& why);

/** The message that the program fileName in the program folder is not run, and why (CheckInstalled's refusal). */
QString NotRunText(const QString& fileName, const Refusal& why);

/** The first bytes of url's body, at most 20, one character per byte; empty when nothing could be read
 *  (no answer, a status other than 2xx, a cut-off body). */
QString OpenUrl(const QString& url, platform::IWaitWindow* wait = nullptr);

/** True when the file at path is a whole program this system can run: a complete PE image, or, where programs are
 *  ELF files or scripts, a complete ELF file or a text starting with "#!". */
bool IsCompleteProgram(const QString& path);

/** What became of one download. */
struct Fetched final
{
    bool saved = false;
    /** The person skipped the wait before the file was saved. */
    bool skipped = false;
    /** Set when the file was refused: too large, or (in a build with keys) not signed for its name and version. */
    std::optional<Refusal> refused;
};

/** Saves url's body over localPath (a link there is replaced, never written through). A download that fails or
 *  is refused leaves localPath as it was: so does an empty body, one above MaxDownloadBytes, and, for a name
 *  ending in ".exe", a body that is not a complete program. In a build with keys the file is kept only when
 *  the signature published beside it names its file and, for a program, its version is above the installed
 *  copy's (as rule says; an installed copy that is not verified counts as none); the signature is kept beside it
 *  as localPath + ".minisig". */
Fetched FetchFile(const QString& url, const QString& localPath, platform::IWaitWindow* wait = nullptr,
                  VersionRule rule = VersionRule::Newer);

/** FetchFile; true when saved. */
bool DownloadFile(const QString& url, const QString& localPath, platform::IWaitWindow* wait = nullptr);

/** The first download of DownloadFiles that was not saved. */
struct FailedFile final
{
    qsizetype index = -1;
    std::optional<Refusal> refused;
};

/** Saves baseUrl + "/" + name to localDir + "/" + name for each name in order, stopping at an empty name
 *  (true). False at the first download that fails (which, in failed); files saved before stay. */
bool DownloadFiles(const QString& baseUrl, const QString& localDir, const QStringList& names,
                   FailedFile* failed = nullptr, platform::IWaitWindow* wait = nullptr);

} // namespace modAutoUpdateV1_Download
