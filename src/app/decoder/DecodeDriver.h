#pragma once

#include "Result.h"

#include <QString>

#include <functional>

namespace decoder {

/** Where the decoded text of inputPath goes: the path without its last four characters + ".sql", always
 *  in the input's folder (a file name shorter than five characters keeps its whole name). */
QString OutputPathFor(const QString& inputPath);

/** Called with the percent (0..100) of the input read so far, each time it changes (at line ends in the blocks
 *  the caller's thread decodes). */
using Progress = std::function<void(int percent)>;
/** Asked after each progress report: true ends the decode early. */
using StopRequested = std::function<bool()>;

/** Bytes read from the input per block; lines and groups may straddle blocks. */
inline constexpr qsizetype ReadBlockSize = qsizetype(1) << 20;

/** Percent shown after reading up to position of an input of length bytes: the position counted in
 *  128-byte blocks begun, times 128, divided by length / 100 (both rounded half to even), at most 100. */
int ProgressPercent(qint64 position, qint64 length);

/** A file a decode made and could not remove again. */
struct UnremovedFile final
{
    QString path;
    /** The system's reason. */
    QString reason;
};

/** Decodes inputPath line by line into OutputPathFor(inputPath), streaming in blocks that the caller's thread
 *  and one helper take in turns: memory stays the same whatever the size of the file or of its longest line;
 *  progress and stopRequested are called on the caller's thread only. Fails with the classic error (nothing
 *  raised). Refuses, making nothing, when the output would be the input itself (the same name, or a link to it)
 *  or is a folder, and when it is a file the person may not write. The decode is written to a new file of its own
 *  (platform::ReplacementFile), which only a whole decode puts in the output's place, keeping the earlier
 *  output's standing: a link there is replaced as a name, never the file it points to. A decode that fails, or
 *  that stopRequested ends (error 18, "User interrupt occurred"), closes both files and removes its new file,
 *  leaving whatever had the output's name as it was; when the new file cannot be removed, unremoved (if given)
 *  says which and why. Only an output written in place (its folder takes no new file) is left cut short. */
platform::Result<void> DecodeFile(const QString& inputPath, const Progress& progress = {},
                                  const StopRequested& stopRequested = {}, UnremovedFile* unremoved = nullptr);

} // namespace decoder
