#include "Processes.h"

#include <QDir>
#include <QProcess>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace platform {

static void applyWindowShow([[maybe_unused]] QProcess& process, [[maybe_unused]] WindowShow show)
{
#ifdef Q_OS_WIN
    process.setCreateProcessArgumentsModifier([show](QProcess::CreateProcessArguments* args) {
        args->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        switch (show) {
        case WindowShow::Normal: args->startupInfo->wShowWindow = SW_SHOWNORMAL; break;
        case WindowShow::Minimized: args->startupInfo->wShowWindow = SW_SHOWMINIMIZED; break;
        case WindowShow::MinimizedNoActivate: args->startupInfo->wShowWindow = SW_SHOWMINNOACTIVE; break;
        case WindowShow::Hidden: args->startupInfo->wShowWindow = SW_HIDE; break;
        }
    });
#endif
}

// A process set up to run program with args in workingDir, its first window shown as asked.
static void prepare(QProcess& process, const QString& program, const QStringList& args, const QString& workingDir,
                    WindowShow show)
{
    process.setProgram(program);
    process.setArguments(args);
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    applyWindowShow(process, show);
}

bool startDetached(const QString& program, const QStringList& args, const QString& workingDir, WindowShow show)
{
    QProcess process;
    prepare(process, program, args, workingDir, show);
    return process.startDetached();
}

bool runAndWait(const QString& program, const QStringList& args, const QString& workingDir, WindowShow show)
{
    QProcess process;
    prepare(process, program, args, workingDir, show);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.start();
    if (!process.waitForStarted(-1))
        return false;
    process.waitForFinished(-1);
    return true;
}

bool openFolderInFileManager(const QString& folder)
{
#ifdef Q_OS_WIN
    return startDetached(QStringLiteral("explorer.exe"), {QDir::toNativeSeparators(folder)});
#elif defined(Q_OS_MACOS)
    return startDetached(QStringLiteral("open"), {folder});
#else
    return startDetached(QStringLiteral("xdg-open"), {folder});
#endif
}

} // namespace platform
