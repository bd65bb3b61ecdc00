// Stand-in for the file replacer "Swapnik.exe". Given "OLD;NEW" (names in its own folder, or full paths), it
// waits until no process runs OLD any more, puts NEW in OLD's place in one rename and starts it. On any
// failure OLD stays as it was, runnable, and the exit code is not 0.
#include "ToolConsole.h"

#include "Executables.h"
#include "Processes.h"

#include <QDir>

#include <chrono>
#include <thread>

namespace {

// How long the program being replaced may take to end. ZT_REPLACER_WAIT_SECONDS shortens it for tests.
std::chrono::milliseconds waitLimit()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("ZT_REPLACER_WAIT_SECONDS", &ok);
    return std::chrono::seconds(ok && seconds >= 0 ? seconds : 30);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const auto [oldName, newName] = tools::semicolonPair();
    if (oldName.isEmpty() || newName.isEmpty()) {
        tools::say(QStringLiteral("usage: Swapnik OLD;NEW (for instance Quillet.exe;New_Quillet.exe)"));
        return 2;
    }

    const QDir dir(QCoreApplication::applicationDirPath());
    const QString oldPath = QDir::cleanPath(dir.absoluteFilePath(oldName));
    const QString newPath = QDir::cleanPath(dir.absoluteFilePath(newName));
    if (!QFileInfo(newPath).isFile() || oldPath == newPath) {
        tools::say(QStringLiteral("no new build at ") + QDir::toNativeSeparators(newPath) +
                   QStringLiteral(": nothing replaced"));
        return 1;
    }

    const auto deadline = std::chrono::steady_clock::now() + waitLimit();
    while (platform::isExecutableRunning(oldPath)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            tools::say(QDir::toNativeSeparators(oldPath) + QStringLiteral(" is still running: nothing replaced"));
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    if (!platform::makeRunnable(newPath) || !platform::replaceFile(newPath, oldPath)) {
        tools::say(QStringLiteral("cannot put ") + QDir::toNativeSeparators(newPath) + QStringLiteral(" in place of ") +
                   QDir::toNativeSeparators(oldPath) + QStringLiteral(": nothing replaced"));
        return 1;
    }
    if (!platform::startDetached(oldPath, {}, QFileInfo(oldPath).absolutePath())) {
        tools::say(QStringLiteral("replaced, but cannot start ") + QDir::toNativeSeparators(oldPath));
        return 1;
    }
    tools::say(QStringLiteral("replaced and started ") + QDir::toNativeSeparators(oldPath));
    return 0;
}
