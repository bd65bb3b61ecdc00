#include "ReplacementFile.h"

#include "LongPath.h"
#include "WinError.h"

#include <string>

#include <windows.h>

namespace platform {

namespace {

std::wstring apiPath(const QString& path)
{
    return extendedLengthPath(path).toStdWString();
}

// Writes made from one source take turns where a new file is named and where it takes the earlier one's place (it is
// closed first, and then nothing holds it open): a lock on a byte far past the source's end, which no reader meets.
class Turn final
{
public:
    explicit Turn(qintptr source) : m_source(reinterpret_cast<HANDLE>(source))
    {
        m_at.Offset = 0xFFFFFFFEu;
        m_at.OffsetHigh = 0x7FFFFFFFu;
        m_held = source != -1 && LockFileEx(m_source, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &m_at);
    }
    ~Turn()
    {
        if (m_held)
            UnlockFileEx(m_source, 0, 1, 0, &m_at);
    }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;

private:
    HANDLE m_source;
    OVERLAPPED m_at{};
    bool m_held = false;
};

} // namespace

// A new file is held open, without shared deletion, from its making until it is closed for the swap: one that can
// be deleted is a leftover.
bool ReplacementFile::removeLeftover(const QString& name)
{
    return DeleteFileW(apiPath(name).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

Result<bool> ReplacementFile::openEarlier()
{
    const std::wstring path = apiPath(m_path);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND ? Result<bool>(false) : Result<bool>(vbErrorFromErrno(errnoFrom(code)));
    }
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
        return false; // a link is replaced as a name
    // Opening it for writing asks what writing it will meet (the read-only attribute, its security), and changes
    // nothing.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return vbErrorFromOpen(errnoFrom(GetLastError()), m_path);
    m_earlier.m_handle = reinterpret_cast<qintptr>(file);
    return true;
}

Result<void> ReplacementFile::makeNew(const QString& source)
{
    const HANDLE held =
        CreateFileW(apiPath(source).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    m_source = held == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<qintptr>(held);
    const Turn turn(m_source);
    const Result<QString> name =
        claimName([this](const QString& candidate) { return m_new.createExclusive(candidate); });
    if (!name)
        return name.error();
    m_newName = *name;
    // Not held: another write's swap could not replace a file open here.
    static_cast<void>(m_earlier.close());
    return {};
}

bool ReplacementFile::keepStanding()
{
    return true; // the system's replace carries it over
}

Result<void> ReplacementFile::swap()
{
    const Turn turn(m_source);
    // The system's replace opens the new file sharing it with no one.
    if (Result<void> closed = m_new.close(); !closed)
        return closed;
    const std::wstring from = apiPath(m_newName);
    const std::wstring to = apiPath(m_path);
    // The replace gives the new file the earlier one's attributes and security; a link is replaced as a name.
    // Nothing is flushed to disk first: the contents can be made again from their source, and the time a flush takes
    // matters more than what a power cut could cost.
    const DWORD attributes = GetFileAttributesW(to.c_str());
    const bool earlier = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    BOOL placed = earlier && ReplaceFileW(to.c_str(), from.c_str(), nullptr, 0, nullptr, nullptr);
    if (!earlier || (!placed && GetLastError() == ERROR_FILE_NOT_FOUND))
        placed = MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING);
    if (!placed)
        return vbErrorFromErrno(errnoFrom(GetLastError()));
    m_newName.clear();
    return {};
}

ReplacementFile::Unremoved ReplacementFile::dropNew()
{
    Unremoved left;
    if (m_new.isOpen())
        static_cast<void>(m_new.close());
    if (!m_newName.isEmpty() && !DeleteFileW(apiPath(m_newName).c_str())) {
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND)
            left = {m_newName, qt_error_string(int(code))};
    }
    m_newName.clear();
    return left;
}

void ReplacementFile::release()
{
    if (m_source != -1)
        CloseHandle(reinterpret_cast<HANDLE>(m_source));
    m_source = -1;
}

} // namespace platform
