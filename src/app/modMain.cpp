#include "modMain.h"

#include "modMainShared.h"

namespace modMain {

void Main(const platform::Services& services, const StartupSteps& steps)
{
    const QString defaultAddress = platform::defaultServerAddress();
    UpdateServerHost = defaultAddress;
    DbServerHost = defaultAddress;

    steps.refreshServerAddressCache(QString());
    steps.loadServerAddressCache();

    const QString updateHost = steps.getServerHost(QStringLiteral("자동업데이트_런처"));
    if (!updateHost.isEmpty())
        UpdateServerHost = updateHost;
    const QString dbHost = steps.getServerHost(QStringLiteral("사내메신저DB서버"));
    if (!dbHost.isEmpty())
        DbServerHost = dbHost;

    bool skipSelfUpdate = false;
    steps.runAutoUpdate(skipSelfUpdate);

    const bool loginSucceeded = steps.runLoginDialog();
    if (!loginSucceeded) {
        services.processExit->exitNow(0);
        return;
    }

    steps.showMainWindow();
}

} // namespace modMain
