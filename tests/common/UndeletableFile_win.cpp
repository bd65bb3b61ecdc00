#include "UndeletableFile.h"

#include <windows.h>

namespace testsupport {

// The file is held open, as another program would hold it, sharing reading and writing but not deleting.
UndeletableFile::UndeletableFile(const QString& path) : m_path(path)
{
    const HANDLE file =
        CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    m_active = file != INVALID_HANDLE_VALUE;
    m_restore = reinterpret_cast<qintptr>(file);
}

UndeletableFile::~UndeletableFile()
{
    if (m_active)
        CloseHandle(reinterpret_cast<HANDLE>(m_restore));
}

bool UndeletableFile::active() const
{
    return m_active;
}

} // namespace testsupport
