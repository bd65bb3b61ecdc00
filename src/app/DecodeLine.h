#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace decoder {

/** Decodes one encoded log line (hex digit groups, no terminator) into the code-page-949 bytes the groups
 *  stand for. Never fails; keeps no state between calls. */
QByteArray DecodeLine(QByteArrayView line);

/** The same, appending to out (so a caller can reuse one buffer line after line). */
void DecodeLineAppend(QByteArrayView line, QByteArray& out);

} // namespace decoder
