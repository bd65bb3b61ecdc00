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

/** Decodes `groups` complete four-digit groups from in, for a caller that feeds a long line piece by piece
 *  (groups never depend on each other); out has room for 2 * groups bytes. Returns the end written. */
char* DecodeGroups(const char* in, std::size_t groups, char* out) noexcept;

} // namespace decoder
