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

/** Whether the file at localPath is the one the publisher signed: checked against the signature published at
 *  url + ".minisig". Verified when there are no keys. */
minisign::Verdict VerifyPublished(const QString& localPath, const QString& url, platform::IWaitWindow* wait = nullptr);

/** The message that fileName arrived but was discarded, its signature not verifying (why: the reason). */
QString SignatureRefusedText(const QString& fileName, minisign::Verdict why);

/** The first bytes of url's body, at most 20, one character per byte; empty when nothing could be read
 *  (no answer, a status other than 2xx, a cut-off body). */
QString OpenUrl(const QString& url, platform::IWaitWindow* wait = nullptr);

/** True when bytes are a whole program this system can run: a complete PE image, or, where programs are ELF
 *  files or scripts, a complete ELF file or a text starting with "#!". */
bool IsCompleteProgram(const QByteArray& bytes);

/** What became of one download. */
struct Fetched final
{
    bool saved = false;
    /** The person skipped the wait before the file was saved. */
    bool skipped = false;
    /** Set when the file arrived whole but its signature did not verify: why. */
    std::optional<minisign::Verdict> refused;
};

/** Saves url's body over localPath. A download that fails or is refused leaves localPath as it was: so does an
 *  empty body, and, for a name ending in ".exe", a body that is not a complete program. */
Fetched FetchFile(const QString& url, const QString& localPath, platform::IWaitWindow* wait = nullptr);

/** FetchFile; true when saved. */
bool DownloadFile(const QString& url, const QString& localPath, platform::IWaitWindow* wait = nullptr);

/** The first download of DownloadFiles that was not saved. */
struct FailedFile final
{
    qsizetype index = -1;
    std::optional<minisign::Verdict> refused;
};

/** Saves baseUrl + "/" + name to localDir + "/" + name for each name in order, stopping at an empty name
 *  (true). False at the first download that fails (which, in failed); files saved before stay. */
bool DownloadFiles(const QString& baseUrl, const QString& localDir, const QStringList& names,
                   FailedFile* failed = nullptr, platform::IWaitWindow* wait = nullptr);

} // namespace modAutoUpdateV1_Download
