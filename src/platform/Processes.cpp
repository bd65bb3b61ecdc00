#include "Processes.h"

#include "FileManager.h"

#include <QDir>
#include <QProcess>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace platform {

enum class Detached { No, Yes };

static void applyWindowShow([[maybe_unused]] QProcess& process, [[maybe_unused]] WindowShow show, Detached detached)
{
#ifdef Q_OS_WIN
    process.setCreateProcessArgumentsModifier([show, detached](QProcess::CreateProcessArguments* args) {
        if (detached == Detached::Yes) {
            // Qt hands a detached program this process's standard handles, and every handle that may be
            // inherited; a console program would share this one's console. None of it: a test runner waiting
            // for its pipes to close would otherwise wait for a file manager the test opened.
            args->inheritHandles = FALSE;
            args->startupInfo->dwFlags &= ~STARTF_USESTDHANDLES;
            args->startupInfo->hStdInput = nullptr;
            args->startupInfo->hStdOutput = nullptr;
            args->startupInfo->hStdError = nullptr;
            args->flags |= CREATE_NO_WINDOW;
        }
        args->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        switch (show) {
        case WindowShow::Normal: args->startupInfo->wShowWindow = SW_SHOWNORMAL; break;
        case WindowShow::Minimized: args->startupInfo->wShowWindow = SW_SHOWMINIMIZED; break;
        case WindowShow::MinimizedNoActivate: args->startupInfo->wShowWindow = SW_SHOWMINNOACTIVE; break;
        case WindowShow::Hidden: args->startupInfo->wShowWindow = SW_HIDE; break;
        }
    });
#else
    if (detached == Detached::Yes) {
        process.setStandardInputFile(QProcess::nullDevice());
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
    }
#endif
}

// A process set up to run program with args in workingDir, its first window shown as asked.
static void prepare(QProcess& process, const QString& program, const QStringList& args, const QString& workingDir,
                    WindowShow show, Detached detached)
{
    process.setProgram(program);
    process.setArguments(args);
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    applyWindowShow(process, show, detached);
}

bool startDetached(const QString& program, const QStringList& args, const QString& workingDir, WindowShow show)
{
    QProcess process;
    prepare(process, program, args, workingDir, show, Detached::Yes);
    return process.startDetached();
}

bool runAndWait(const QString& program, const QStringList& args, const QString& workingDir, WindowShow show)
{
    QProcess process;
    prepare(process, program, args, workingDir, show, Detached::No);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.start();
    if (!process.waitForStarted(-1))
        return false;
    process.waitForFinished(-1);
    return true;
}

bool FileManager::openFolder(const QString& folder)
{
#ifdef Q_OS_WIN
    // The system's Explorer by its full path: a bare name is looked for in the program's own folder first.
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    return startDetached(QString::fromWCharArray(windows, int(length)) + QStringLiteral("\\explorer.exe"),
                         {QDir::toNativeSeparators(folder)});
#elif defined(Q_OS_MACOS)
    return startDetached(QStringLiteral("open"), {folder});
#else
    return startDetached(QStringLiteral("xdg-open"), {folder});
#endif
}

} // namespace platform
