#include "RawFile.h"

#include "LongPath.h"
#include "WinError.h"

#include <cerrno>
#include <string>

#include <windows.h>

namespace platform {

namespace {

HANDLE h(qintptr handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// What the file API is given: the extended-length form, so that a folder deeper than 260 characters works.
std::wstring apiPath(const QString& path)
{
    return extendedLengthPath(path).toStdWString();
}

int openWith(qintptr& handle, const QString& path, DWORD access, DWORD disposition)
{
    const HANDLE file =
        CreateFileW(apiPath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return errnoFrom(GetLastError());
    handle = reinterpret_cast<qintptr>(file);
    return 0;
}

VbError lastError()
{
    return vbErrorFromErrno(errnoFrom(GetLastError()));
}

} // namespace

RawFile::~RawFile()
{
    if (isOpen())
        CloseHandle(h(m_handle));
}

Result<void> RawFile::openRead(const QString& path)
{
    if (const int err = openWith(m_handle, path, GENERIC_READ, OPEN_EXISTING))
        return vbErrorFromOpen(err, path);
    return {};
}

Result<void> RawFile::openWrite(const QString& path)
{
    if (const int err = openWith(m_handle, path, GENERIC_WRITE, OPEN_ALWAYS))
        return vbErrorFromOpen(err, path);
    return {};
}

int RawFile::createExclusive(const QString& path)
{
    // CREATE_NEW fails on any entry of that name, a link or a dangling one too.
    return openWith(m_handle, path, GENERIC_WRITE, CREATE_NEW);
}

bool RawFile::isOpen() const
{
    return m_handle != -1;
}

Result<RawFile::Info> RawFile::info() const
{
    BY_HANDLE_FILE_INFORMATION fi{};
    if (!GetFileInformationByHandle(h(m_handle), &fi))
        return lastError();
    const FileId id{fi.dwVolumeSerialNumber, (quint64(fi.nFileIndexHigh) << 32) | fi.nFileIndexLow};
    const qint64 size = qint64((quint64(fi.nFileSizeHigh) << 32) | fi.nFileSizeLow);
    const Kind kind = (fi.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Directory
                      : GetFileType(h(m_handle)) == FILE_TYPE_DISK     ? Kind::Regular
                                                                       : Kind::Other;
    return Info{id, size, kind};
}

Result<FileId> RawFile::identityOf(const QString& path)
{
    RawFile file; // closes the probe on every path
    const HANDLE probe = CreateFileW(apiPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return lastError();
    file.m_handle = reinterpret_cast<qintptr>(probe);
    const Result<Info> info = file.info();
    if (!info)
        return info.error();
    return info->id;
}

Result<void> RawFile::remove(const QString& path)
{
    if (!DeleteFileW(apiPath(path).c_str()))
        return lastError();
    return {};
}

Result<void> RawFile::replace(const QString& from, const QString& to)
{
    if (!MoveFileExW(apiPath(from).c_str(), apiPath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return lastError();
    return {};
}

Result<void> RawFile::replaceable(const QString& path)
{
    // Replacing a file needs the right to delete it; opening it for that alone changes nothing.
    const HANDLE probe =
        CreateFileW(apiPath(path).c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_SHARING_VIOLATION)
            return {};
        return vbErrorFromErrno(errnoFrom(code));
    }
    CloseHandle(probe);
    return {};
}

Result<void> RawFile::truncate()
{
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(h(m_handle), zero, nullptr, FILE_BEGIN) || !SetEndOfFile(h(m_handle)))
        return lastError();
    return {};
}

Result<qint64> RawFile::read(char* data, qint64 size)
{
    DWORD got = 0;
    if (!ReadFile(h(m_handle), data, DWORD(qMin<qint64>(size, 1 << 30)), &got, nullptr))
        return lastError();
    return qint64(got);
}

Result<qint64> RawFile::readAt(qint64 offset, char* data, qint64 size)
{
    OVERLAPPED at{};
    at.Offset = DWORD(quint64(offset) & 0xFFFFFFFFu);
    at.OffsetHigh = DWORD(quint64(offset) >> 32);
    DWORD got = 0;
    if (!ReadFile(h(m_handle), data, DWORD(qMin<qint64>(size, 1 << 30)), &got, &at))
        return GetLastError() == ERROR_HANDLE_EOF ? Result<qint64>(qint64(0)) : Result<qint64>(lastError());
    return qint64(got);
}

Result<void> RawFile::writeAll(const char* data, qint64 size)
{
    while (size > 0) {
        DWORD put = 0;
        if (!WriteFile(h(m_handle), data, DWORD(qMin<qint64>(size, 1 << 30)), &put, nullptr))
            return lastError();
        if (put == 0)
            return vbErrorFromErrno(ENOSPC);
        data += put;
        size -= put;
    }
    return {};
}

Result<void> RawFile::close()
{
    const HANDLE file = h(m_handle);
    m_handle = -1;
    if (!CloseHandle(file))
        return lastError();
    return {};
}

} // namespace platform
