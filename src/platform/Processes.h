#pragma once

#include <QString>
#include <QStringList>

namespace platform {

/** How a started program's window first appears (honoured where the system has such a notion). */
enum class WindowShow { Normal, Minimized, MinimizedNoActivate, Hidden };

/** Starts program with args (an argument list, never through a shell) and returns at once. It runs on its own:
 *  it gets none of this process's standard handles or console, so nothing that waits for those to close waits for
 *  it. True when the program started. */
bool startDetached(const QString& program, const QStringList& args, const QString& workingDir = {},
                   WindowShow show = WindowShow::Normal);

/** Starts program and waits, without a time limit, until it ends. Returns false at once when it
 *  cannot be started; its exit code is not looked at. */
bool runAndWait(const QString& program, const QStringList& args, const QString& workingDir = {},
                WindowShow show = WindowShow::Normal);

} // namespace platform
