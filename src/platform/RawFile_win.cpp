#include "RawFile.h"

#include <cerrno>

#include <windows.h>

namespace platform {

namespace {

HANDLE h(qintptr handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// The system's codes as the errno values callers expect.
int errnoFrom(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND: return ENOENT;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE: return ENOTDIR;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT: return EIO;
    default: return EINVAL;
    }
}

int openWith(qintptr& handle, const QString& path, DWORD access, DWORD disposition)
{
    const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), access,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return errnoFrom(GetLastError());
    handle = reinterpret_cast<qintptr>(file);
    return 0;
}

} // namespace

RawFile::~RawFile()
{
    if (isOpen())
        CloseHandle(h(m_handle));
}

int RawFile::openRead(const QString& path)
{
    return openWith(m_handle, path, GENERIC_READ, OPEN_EXISTING);
}

int RawFile::openWrite(const QString& path)
{
    return openWith(m_handle, path, GENERIC_WRITE, OPEN_ALWAYS);
}

bool RawFile::isOpen() const
{
    return m_handle != -1;
}

int RawFile::info(FileId& id, qint64& size, Kind& kind) const
{
    BY_HANDLE_FILE_INFORMATION fi{};
    if (!GetFileInformationByHandle(h(m_handle), &fi))
        return errnoFrom(GetLastError());
    id = {fi.dwVolumeSerialNumber, (quint64(fi.nFileIndexHigh) << 32) | fi.nFileIndexLow};
    size = qint64((quint64(fi.nFileSizeHigh) << 32) | fi.nFileSizeLow);
    kind = (fi.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)       ? Kind::Directory
           : GetFileType(h(m_handle)) == FILE_TYPE_DISK ? Kind::Regular
                                                          : Kind::Other;
    return 0;
}

int RawFile::identityOf(const QString& path, FileId& id)
{
    RawFile file;
    const HANDLE probe = CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return errnoFrom(GetLastError());
    file.m_handle = reinterpret_cast<qintptr>(probe);
    qint64 size = 0;
    Kind kind{};
    return file.info(id, size, kind);
}

int RawFile::truncate()
{
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(h(m_handle), zero, nullptr, FILE_BEGIN) || !SetEndOfFile(h(m_handle)))
        return errnoFrom(GetLastError());
    return 0;
}

qint64 RawFile::read(char* data, qint64 size)
{
    DWORD got = 0;
    if (!ReadFile(h(m_handle), data, DWORD(qMin<qint64>(size, 1 << 30)), &got, nullptr))
        return -errnoFrom(GetLastError());
    return got;
}

int RawFile::writeAll(const char* data, qint64 size)
{
    while (size > 0) {
        DWORD put = 0;
        if (!WriteFile(h(m_handle), data, DWORD(qMin<qint64>(size, 1 << 30)), &put, nullptr))
            return errnoFrom(GetLastError());
        if (put == 0)
            return ENOSPC;
        data += put;
        size -= put;
    }
    return 0;
}

int RawFile::close()
{
    const HANDLE file = h(m_handle);
    m_handle = -1;
    return CloseHandle(file) ? 0 : errnoFrom(GetLastError());
}

} // namespace platform
