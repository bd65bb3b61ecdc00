#pragma once

// Windows only: the system's error codes as the errno values the classic file errors are told from.
#include <cerrno>

#include <windows.h>

namespace platform {

inline int errnoFrom(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND: return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
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

} // namespace platform
