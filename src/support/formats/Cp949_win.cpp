#include "Cp949.h"

#include <windows.h>

namespace support::cp949 {

QByteArray fromUnicode(const QString& text)
{
    if (text.isEmpty())
        return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    // The system's own conversion, best-fit look-alikes included, as the classic program's strings went out: a
    // stored password hash was made from these bytes. A look-alike may be a quote or a backslash (U+20A9 becomes
    // one), so whoever puts the bytes between quotes escapes them after this.
    const int size = WideCharToMultiByte(949, 0, wide, int(text.size()), nullptr, 0, nullptr, nullptr);
    QByteArray out(size, Qt::Uninitialized);
    WideCharToMultiByte(949, 0, wide, int(text.size()), out.data(), size, nullptr, nullptr);
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
