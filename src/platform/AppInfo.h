#pragma once

#include "VbError.h"

#include <QString>

namespace platform {

/** Whether a download of a program may also be an ELF file or a "#!" script, not only a PE image, and still
 *  count as a complete program (the stand-ins for the sibling tools are such files everywhere but on Windows). */
#ifdef Q_OS_WIN
inline constexpr bool AcceptsElfProgramsAndScripts = false;
#else
inline constexpr bool AcceptsElfProgramsAndScripts = true;
#endif

/** The program's title: message box captions and the main window's settings name. */
inline constexpr char16_t AppTitle[] = u"NorvaQuillet";

/** Version parts of this build. */
struct Version final
{
    int major = 0;
    int minor = 0;
    int patch = 0;
    int revision = 0;
};

/** This build's own version (M.m.0.R). */
Version ownVersion();

/** The built-in server address, overridden at run time by ZT_DEFAULT_SERVER. */
QString defaultServerAddress();

/** The server-list service's base address, overridden at run time by ZT_SERVER_LIST_URL. */
QString serverListBaseUrl();

/** Where the program lives: its folder (no trailing separator) and its executable's own file name. */
struct AppLocation final
{
    QString dir;
    QString exeFileName;
    /** Why the program cannot keep its files in dir, as found once at start (folderWriteBlock); none when it can. */
    VbError writeBlock = {};
    /** A file the start-up trial made in a folder and could not remove, which it then says. */
    QString trialFileLeft = {};

    /** The running executable's folder and file name. */
    static AppLocation current();

    /** dir + separator + name: how the program names a file in its own folder. */
    QString filePath(const QString& name) const;
};

} // namespace platform
