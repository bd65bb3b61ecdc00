#pragma once

#include <QString>

// What the file replacer and the version checker need of the system beyond starting processes.
namespace platform {

/** True when some process of this user runs the program file at path (the same file, whatever name reached
 *  it). False when none does, and when the system cannot tell. */
bool isExecutableRunning(const QString& path);

/** Gives the file at path its run permission where the system has one; true when it has it. */
bool makeRunnable(const QString& path);

/** Puts the file from in to's place in one step, replacing to. False, with both left as they were, when it
 *  cannot. */
bool replaceFile(const QString& from, const QString& to);

} // namespace platform
