#pragma once

#include <QByteArray>
#include <QString>

namespace support::cp949 {

/** text as code-page-949 bytes; characters the code page lacks become '?', on Windows only those the system
 *  has no best-fit look-alike for. */
QByteArray fromUnicode(const QString& text);

/** code-page-949 bytes as text; byte sequences that are no character become U+FFFD. */
QString toUnicode(const QByteArray& bytes);

} // namespace support::cp949
