#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>

namespace decoder {

/** Decodes one encoded log line (hex digit groups, no terminator) into the code-page-949 bytes the groups
 *  stand for. Never fails; keeps no state between calls. */
QByteArray DecodeLine(QByteArrayView line);

/** The same, appending to out (so a caller can reuse one buffer line after line). */
void DecodeLineAppend(QByteArrayView line, QByteArray& out);

/** Most bytes DecodeLineTo writes for a line of n bytes (two per group, a short last group included). */
constexpr std::size_t MaxDecodedSize(std::size_t n)
{
    return (n + 3) / 4 * 2;
}

/** Decodes the whole line [in, in + n) into out, which has room for MaxDecodedSize(n) bytes; returns the
 *  end of what was written. */
char* DecodeLineTo(const char* in, std::size_t n, char* out) noexcept;

/** Decodes the line that begins at in, as far as its first CR or LF before end, and returns that CR or LF.
 *  When there is none before end, decodes every whole group and returns the start of the unfinished one
 *  (fewer than four characters before end, left for the caller to complete). out has room for
 *  MaxDecodedSize(end - in) bytes and is moved past what was written. */
const char* DecodeLinePart(const char* in, const char* end, char*& out) noexcept;

/** The instruction sets the group decoding can use, narrowest first (Avx512: with the byte permute and
 *  compress instructions). Every one gives the same bytes. */
enum class DecodePath { Plain, Ssse3, Avx2, Avx512 };

/** The path decodes use: the widest this processor runs, unless UseDecodePath chose another. */
DecodePath ActiveDecodePath() noexcept;

/** Makes later decodes use path, so tests and benchmarks can set the paths side by side. False, changing
 *  nothing, when this build or processor cannot run it. */
bool UseDecodePath(DecodePath path) noexcept;

} // namespace decoder
