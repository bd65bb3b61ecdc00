#include "RealStartup.h"

#include "DatabaseLog.h"
#include "LogCategories.h"
#include "TransferLog.h"
#include "frmLogin.h"
#include "frmMain.h"
#include "modAutoUpdateV1_Launcher.h"
#include "modFileVersionCheck.h"
#include "modServerAddressUtil.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QSysInfo>

namespace modMain {

namespace {

void recordStart(const platform::Services& services, platform::PolicySwitch diagnosticLogPolicy)
{
    const platform::Version v = platform::ownVersion();
    const auto line = [](const QString& text) { qCInfo(platform::lcStart).noquote() << text; };
    line(QStringLiteral("NorvaQuillet %1.%2.%3.%4 (revision %4) starts, process %5: %6")
             .arg(v.major)
             .arg(v.minor)
             .arg(v.patch)
             .arg(v.revision)
             .arg(QCoreApplication::applicationPid())
             .arg(QDir::toNativeSeparators(services.app.filePath(services.app.exeFileName))));
    line(QStringLiteral("system: ") + QSysInfo::prettyProductName() + QStringLiteral(", kernel ") +
         QSysInfo::kernelType() + u' ' + QSysInfo::kernelVersion() + QStringLiteral(", ") +
         QSysInfo::currentCpuArchitecture() + QStringLiteral(", locale ") + QLocale::system().name());
    line(QStringLiteral("libraries: Qt ") + QString::fromLatin1(qVersion()) + QStringLiteral(", ") +
         support::http::libraryVersion() + QStringLiteral(", ") + dblog::connectorVersion());
    line(QStringLiteral("machine policy (") + platform::machinePolicyLocation() + QStringLiteral("): DatabaseTls ") +
         dblog::policyText(services.databaseTls) + QStringLiteral(", DiagnosticLog ") +
         platform::policySwitchText(diagnosticLogPolicy));
    const platform::VbError& block = services.app.writeBlock;
    line(QStringLiteral("program folder ") + QDir::toNativeSeparators(services.app.dir) +
         (block.isError() ? QStringLiteral(": cannot keep files there (") + block.description() + QStringLiteral(", ") +
                                QDir::toNativeSeparators(block.source()) + u')'
                          : QStringLiteral(": writable")));
    line(QStringLiteral("server list service ") + support::http::addressForLog(platform::serverListBaseUrl()) +
         QStringLiteral(", built-in server ") + platform::defaultServerAddress());
}

} // namespace

StartupSteps realStartupSteps(const platform::Services& services)
{
    StartupSteps steps;
    steps.refreshServerAddressCache = [services](const QString& user) {
        return modServerAddressUtil::RefreshServerAddressCache(services, user);
    };
    steps.loadServerAddressCache = [services] { modServerAddressUtil::LoadServerAddressCache(services); };
    steps.getServerHost = [](const QString& name) { return modServerAddressUtil::GetServerHost(name); };
    steps.runAutoUpdate = [services](bool skipSelfUpdate) {
        return modAutoUpdateV1_Launcher::RunAutoUpdate(services, skipSelfUpdate);
    };
    steps.runLoginDialog = [services] {
        frmLogin dialog(services);
        dialog.showModal();
        return dialog.LoginSucceeded();
    };
    steps.showMainWindow = [services] {
        auto* window = new frmMain(services, [services](const QString& fileName, const QString& localDir,
                                                        const QString& subPath, const QStringList& files) {
            modFileVersionCheck::CheckFileVersion(services, fileName, localDir, subPath, files);
        });
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
    };
    return steps;
}

std::unique_ptr<platform::DiagnosticLog> startDiagnosticLog(const platform::Services& services,
                                                            platform::PolicySwitch diagnosticLogPolicy)
{
    const QString own = services.settings->read(QString::fromUtf16(platform::AppTitle), QStringLiteral("Config"),
                                                QString::fromUtf16(platform::DiagnosticLogName));
    auto log = std::make_unique<platform::DiagnosticLog>(platform::diagnosticLogWanted(diagnosticLogPolicy, own));
    if (platform::lcStart().isInfoEnabled())
        recordStart(services, diagnosticLogPolicy);
    return log;
}

} // namespace modMain
