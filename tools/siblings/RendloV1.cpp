// Stand-in for the version checker "RendloV1.exe". Given "REVISION;EXE" (the program's revision and file
// name), it reads EXE's version file on the update server that the program uses and, when that names a newer
// revision, saves EXE from the update folder beside itself as "New_" + EXE, ready to run. It exits 0 whether
// or not there was a newer build (the program only looks for the "New_" file); 2 for a malformed command line
// and 1 when a "New_" file left from an earlier run cannot be removed. While it works it shows a small window
// of its own, as the real checker does, with a button to give up; a server that does not answer is given up
// on within the checker's own time limits.
#include "ToolConsole.h"

#include "Executables.h"
#include "HttpTransfer.h"
#include "SystemProxy.h"
#include "VbError.h"
#include "WaitWindowQt.h"
#include "mdlFile.h"
#include "modAutoUpdateV1_Download.h"
#include "modAutoUpdateV1_Launcher.h"
#include "modServerAddressUtil.h"

#include <QApplication>
#include <QFile>

using namespace modAutoUpdateV1_Launcher;

namespace {

// The update server's host, found as the program finds it: the built-in address unless the server list
// names another.
QString updateServerHost(const platform::Services& services)
{
    modServerAddressUtil::RefreshServerAddressCache(services, QString());
    modServerAddressUtil::LoadServerAddressCache(services);
    const QString listed = modServerAddressUtil::GetServerHost(QStringLiteral("자동업데이트_런처"));
    return listed.isEmpty() ? platform::defaultServerAddress() : listed;
}

// The revision a program file carries (its version's last part), or -1 when it carries none.
double revisionOf(const platform::Services& services, const QString& path)
{
    const QString version = mdlFile::GetFileVer(services, path, true, true);
    return version.isEmpty() ? -1 : LeadingNumber(version.mid(version.lastIndexOf(u'.') + 1));
}

// The checker's transfers run inside its one window: each takes the window's skip button as its own.
class InsideTheWindow final : public platform::IWaitWindow
{
public:
    explicit InsideTheWindow(const platform::SkipFlag& skipped) : m_skipped(skipped) {}
    void run(const QString&, const Work& work) override { work(m_skipped); }

private:
    const platform::SkipFlag& m_skipped;
};

int check(const platform::Services& services, qint32 revision, const QString& exeName);

} // namespace

int main(int argc, char* argv[])
{
#ifndef Q_OS_WIN
    // Without a screen (a test, a terminal over SSH) the window is drawn nowhere rather than not at all.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    QApplication app(argc, argv);
    const auto [revisionText, exeName] = tools::semicolonPair();
    bool isNumber = false;
    const qint32 revision = revisionText.toInt(&isNumber);
    if (!isNumber || exeName.isEmpty() || exeName.contains(u'/') || exeName.contains(u'\\')) {
        tools::say(QStringLiteral("usage: RendloV1 REVISION;PROGRAM (for instance 12;Quillet.exe)"));
        return 2;
    }

    // Shorter than the program's own limits: the program waits for the checker without a limit of its own.
    support::http::setTimeouts({5, 10, 5, 5});
    // The real checker is not the publisher's program and checks no signatures: the program verifies the build
    // this leaves before it hands over.
    modAutoUpdateV1_Download::SetPublisherKeys(QString());
    tools::ToolServices tool;
    platform::WaitWindowQt window(0, QStringLiteral("RendloV1"));
    int exitCode = 0;
    window.run(QStringLiteral("업데이트를 확인하는 중…"), [&](const platform::SkipFlag& skipped) {
        InsideTheWindow inside(skipped);
        platform::Services services = tool.services;
        services.waitWindow = &inside;
        exitCode = check(services, revision, exeName);
    });
    // After a skip the system's proxy question may still run on its thread: Qt's teardown would wait for it.
    if (support::http::systemQuestionRunning())
        tool.exit.exitNow(exitCode);
    return exitCode;
}

namespace {

int check(const platform::Services& services, qint32 revision, const QString& exeName)
{
    const QString newPath = services.app.filePath(QStringLiteral("New_") + exeName);
    // Only a build fetched by this run may be handed over: one left from an earlier run goes first.
    if (QFile::exists(newPath) && !QFile::remove(newPath)) {
        tools::say(QStringLiteral("cannot remove the old ") + newPath + QStringLiteral(": nothing fetched"));
        return 1;
    }

    const QString baseUrl = UpdateBaseUrlFor(updateServerHost(services));
    const QString versionUrl = baseUrl + VersionFileName(exeName);
    const QString offeredText = modAutoUpdateV1_Download::OpenUrl(versionUrl, services.waitWindow).trimmed();
    if (offeredText.isEmpty()) {
        tools::say(QStringLiteral("no version information at ") + versionUrl);
        return 0;
    }
    qint32 offered = 0;
    try {
        offered = VersionValue(offeredText);
    } catch (const platform::VbError& error) {
        tools::say(versionUrl + QStringLiteral(": ") + error.description());
        return 0;
    }
    if (offered <= revision) {
        tools::say(QStringLiteral("%1 is current (revision %2, the server offers %3)")
                       .arg(exeName)
                       .arg(revision)
                       .arg(offered));
        return 0;
    }

    // Fetched under a name of its own and checked there, so that "New_" never names a partial or wrong file.
    const QString partPath = newPath + QStringLiteral(".part");
    const QString url = baseUrl + exeName;
    const auto fail = [&](const QString& why) {
        QFile::remove(partPath);
        tools::say(why + QStringLiteral(": no new build"));
        return 0;
    };
    if (!modAutoUpdateV1_Download::DownloadFile(url, partPath, services.waitWindow))
        return fail(QStringLiteral("cannot download ") + url);
    if (!modAutoUpdateV1_Download::IsCompleteProgram(partPath))
        return fail(url + QStringLiteral(" is not a whole program"));
    // A build no newer than this one would be handed over at every start.
    const double fetched = revisionOf(services, partPath);
    if (fetched <= revision)
        return fail(url + QStringLiteral(" carries revision %1, not newer than %2").arg(fetched).arg(revision));
    if (!platform::makeRunnable(partPath))
        return fail(QStringLiteral("cannot make ") + partPath + QStringLiteral(" runnable"));
    if (!platform::replaceFile(partPath, newPath))
        return fail(QStringLiteral("cannot rename ") + partPath);
    tools::say(QStringLiteral("fetched revision %1 of %2 as %3").arg(fetched).arg(exeName, newPath));
    return 0;
}

} // namespace
