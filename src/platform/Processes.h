#pragma once

#include <QString>
#include <QStringList>

namespace platform {

/** How a started program's window first appears (honoured where the system has such a notion). */
enum class WindowShow { Normal, Minimized, MinimizedNoActivate, Hidden };

/** Starts program with args (an argument list, never through a shell) and returns at once.
 *  True when the program started. */
bool startDetached(const QString& program, const QStringList& args, const QString& workingDir = {},
                   WindowShow show = WindowShow::Normal);

/** Starts program and waits, without a time limit, until it ends. Returns false at once when it
 *  cannot be started; its exit code is not looked at. */
bool runAndWait(const QString& program, const QStringList& args, const QString& workingDir = {},
                WindowShow show = WindowShow::Normal);

/** Opens folder in the desktop's file manager, so that a person can work in it by hand. */
bool openFolderInFileManager(const QString& folder);

} // namespace platform
