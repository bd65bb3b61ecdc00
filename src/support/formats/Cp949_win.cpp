#include "Cp949.h"

#include <windows.h>

namespace support::cp949 {

QByteArray fromUnicode(const QString& text)
{
    if (text.isEmpty())
        return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    // Characters the code page lacks become "?": a best-fit look-alike may be a backslash (U+20A9 is one).
    const DWORD flags = WC_NO_BEST_FIT_CHARS;
    const int size = WideCharToMultiByte(949, flags, wide, int(text.size()), nullptr, 0, "?", nullptr);
    QByteArray out(size, Qt::Uninitialized);
    WideCharToMultiByte(949, flags, wide, int(text.size()), out.data(), size, "?", nullptr);
    return out;
}

QString toUnicode(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return {};
    const int size = MultiByteToWideChar(949, 0, bytes.constData(), int(bytes.size()), nullptr, 0);
    QString out(size, Qt::Uninitialized);
    MultiByteToWideChar(949, 0, bytes.constData(), int(bytes.size()), reinterpret_cast<wchar_t*>(out.data()), size);
    return out;
}

} // namespace support::cp949
