#pragma once

#include "VbError.h"

#include <QString>

#include <functional>

namespace decoder {

/** Where the decoded text of inputPath goes: the path without its last four characters + ".sql", always
 *  in the input's folder (a file name shorter than five characters keeps its whole name). */
QString OutputPathFor(const QString& inputPath);

/** Called with the percent (0..100) of the input read so far. */
using Progress = std::function<void(int percent)>;

/** Decodes inputPath line by line into OutputPathFor(inputPath), streaming: memory follows the longest
 *  line, not the file. Returns the classic error on failure (nothing raised); output written before an
 *  error stays. Refuses, writing nothing, when the output would be the input itself. */
support::VbError DecodeFile(const QString& inputPath, const Progress& progress = {});

} // namespace decoder
