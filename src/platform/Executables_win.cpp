#include "Executables.h"

#include "LongPath.h"
#include "WinHandle.h"

#include <QDir>
#include <QFileInfo>

#include <tlhelp32.h>

#include <string>

namespace platform {

namespace {

const wchar_t* wide(const QString& text)
{
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

QString imageOf(DWORD pid)
{
    const WinHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process.valid())
        return {};
    std::wstring buffer(32768, L'\0');
    DWORD size = DWORD(buffer.size());
    if (!QueryFullProcessImageNameW(process.get(), 0, buffer.data(), &size))
        return {};
    return QString::fromWCharArray(buffer.data(), int(size));
}

} // namespace

bool isExecutableRunning(const QString& path)
{
    const QString target = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    const WinHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid())
        return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        // File names on Windows compare without regard to case.
        if (imageOf(entry.th32ProcessID).compare(target, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool makeRunnable(const QString& path)
{
    // Any file may be run; its name decides how.
    return QFileInfo(path).isFile();
}

bool replaceFile(const QString& from, const QString& to)
{
    return MoveFileExW(wide(extendedLengthPath(from)), wide(extendedLengthPath(to)),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

} // namespace platform
