#include "RealStartup.h"

#include "frmLogin.h"
#include "frmMain.h"
#include "modAutoUpdateV1_Launcher.h"
#include "modFileVersionCheck.h"
#include "modServerAddressUtil.h"

namespace modMain {

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

} // namespace modMain
