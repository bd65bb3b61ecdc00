#pragma once

#include <QString>

// Starting a sibling tool and waiting for it.
namespace modWaitProc {

/** Starts file in directory and waits, without a time limit, until it ends; returns at once when it cannot
 *  be started. parameters is handed over as ONE argument, untouched (no shell splits it: the tools' command
 *  lines hold no blanks, and a path with blanks must stay one argument). ownerWindow is kept for the callers'
 *  sake and unused. hidden wins over minimised; minimised does not take the focus. */
void RunAndWait(const QString& file, qintptr ownerWindow, const QString& parameters, const QString& directory,
                bool hidden, bool minimised);

} // namespace modWaitProc
