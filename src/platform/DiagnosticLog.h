#pragma once

#include <QString>

// The diagnostic log: what a run did, for support, written only when IT or the person turned it on. The areas
// write through Qt's logging categories (LogCategories.h); one message handler puts every line in one file per
// person, capped, readable by its owner only. The log never stops the program: a folder or a file that cannot
// be made or written ends the log for the run, and the program goes on as without it.
namespace platform {

/** How IT set a machine policy's switch: not at all, off (0) or on (1). */
enum class PolicySwitch { NotSet, Off, On };

/** The machine policy value and the person's own setting (application "NorvaQuillet", section "Config") that
 *  turn the log on. */
inline constexpr char16_t DiagnosticLogName[] = u"DiagnosticLog";
inline constexpr char16_t DiagnosticLogFileName[] = u"NorvaQuillet.log";

/** Whether the log is on: as IT's machine policy says when it is set (a policy is not overruled by a person);
 *  otherwise as the person's own value says: "1" on; absent, "0" or anything else off. */
bool diagnosticLogWanted(PolicySwitch machinePolicy, const QString& userValue);

/** The text of a switch, as the log says which policy is in force: "not set", "0" or "1". */
QString policySwitchText(PolicySwitch value);

/** The person's own log folder: "%LOCALAPPDATA%\NorvaQuillet\logs" on Windows, "$XDG_STATE_HOME/norvaquillet"
 *  elsewhere ("~/.local/state/norvaquillet" when XDG_STATE_HOME is unset or not absolute). */
QString diagnosticLogFolder();

/** text up to its first quote (' or "), then "…" and the quote: a server's message about a failed statement can
 *  quote the statement, and a statement can hold a password. */
QString withoutQuotedText(const QString& text);

/** How much the log keeps: the file is renamed to a backup before a line would take it past fileBytes; there
 *  are at most files of them, the current one included (NorvaQuillet.log, NorvaQuillet.1.log, ...), the oldest
 *  removed. */
struct DiagnosticLogLimits final
{
    qint64 fileBytes = qint64(1) << 20;
    int files = 5;
};

/** While it lives and is on, the program's log lines (the "zt." areas from info up, and Qt's own warnings) go to
 *  the file, each written at once, before the call that made it returns: "local ISO time with milliseconds and
 *  offset, level, area, text", one line each. Off, it does nothing at all: no folder, no file, the areas stay
 *  silent; so it is when the folder or the file cannot be made. One at a time. */
class DiagnosticLog final
{
public:
    explicit DiagnosticLog(bool on, const QString& folder = diagnosticLogFolder(), DiagnosticLogLimits limits = {});
    /** Writes the end of the run, then lets go of the file and of Qt's messages. */
    ~DiagnosticLog();
    DiagnosticLog(const DiagnosticLog&) = delete;
    DiagnosticLog& operator=(const DiagnosticLog&) = delete;

    /** Whether lines still reach the file: false when off, or once the folder or the file failed. */
    bool isWriting() const;

private:
    bool m_on;
};

/** Makes folder (and the folders above it) or keeps it, for its owner only where the system has such modes; false
 *  when it is not a folder of the person's. Each system has its own. */
bool makeOwnerOnlyFolder(const QString& folder);

/** Narrows an existing log file to its owner (POSIX modes); nothing to do on Windows. */
void restrictToOwner(const QString& file);

} // namespace platform
