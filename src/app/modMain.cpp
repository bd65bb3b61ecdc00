#include "modMain.h"

#include "LogCategories.h"
#include "modMainShared.h"

#include <QDir>
#include <QElapsedTimer>

namespace modMain {

QString FolderNotWritableMessage(const QString& dir, const platform::VbError& cause, const QString& trialFileLeft)
{
    QString text = QStringLiteral("프로그램 폴더에 파일을 저장할 수 없습니다 (") + cause.description() +
                   QStringLiteral("):\r\n") + QDir::toNativeSeparators(dir);
    if (!cause.source().isEmpty())
        text += QStringLiteral("\r\n바꿀 수 없는 파일: ") + QDir::toNativeSeparators(cause.source());
    text += QStringLiteral("\r\n\r\n받아 온 서버 목록은 이번 실행에만 쓰이고 보관되지 않으며, 프로그램 업데이트는 "
                           "설치되지 않습니다.\r\n로그인과 로그 변환은 그대로 할 수 있습니다.\r\n\r\n업데이트를 "
                           "받으려면 쓰기 권한이 있는 폴더로 프로그램을 옮기거나 관리자에게 문의하세요.");
    if (!trialFileLeft.isEmpty())
        text += QStringLiteral("\r\n\r\n쓰기 시험으로 만든 파일을 지우지 못했습니다. 지워도 되는 파일입니다:\r\n") +
                QDir::toNativeSeparators(trialFileLeft);
    return text;
}

void Main(const platform::Services& services, const StartupSteps& steps)
{
    // Said once, before the steps whose writes it explains; they then stay silent about that cause.
    if (services.app.writeBlock.isError())
        services.messageBox->show(
            FolderNotWritableMessage(services.app.dir, services.app.writeBlock, services.app.trialFileLeft));

    // Said once, so that IT can mend what it set: the policy already counts it at its strictest.
    if (!services.databaseTls.notice.isEmpty())
        services.messageBox->show(services.databaseTls.notice, {}, platform::MessageIcon::Error);

    const QString defaultAddress = platform::defaultServerAddress();
    UpdateServerHost = defaultAddress;
    DbServerHost = defaultAddress;

    QElapsedTimer clock;
    clock.start();
    steps.refreshServerAddressCache(QString());
    steps.loadServerAddressCache();

    const QString updateHost = steps.getServerHost(QStringLiteral("자동업데이트_런처"));
    if (!updateHost.isEmpty())
        UpdateServerHost = updateHost;
    const QString dbHost = steps.getServerHost(QStringLiteral("사내메신저DB서버"));
    if (!dbHost.isEmpty())
        DbServerHost = dbHost;
    const auto from = [](const QString& listed) { return listed.isEmpty() ? "the built-in default" : "the list"; };
    qCInfo(platform::lcServerList).noquote()
        << "update server" << UpdateServerHost << "from" << from(updateHost) << "| database server" << DbServerHost
        << "from" << from(dbHost) << "|" << clock.elapsed() << "ms";

    clock.start();
    steps.runAutoUpdate(false);
    qCInfo(platform::lcUpdate) << "launcher done," << clock.elapsed() << "ms";

    const bool loginSucceeded = steps.runLoginDialog();
    qCInfo(platform::lcLogin) << "dialog closed:" << (loginSucceeded ? "logged in" : "not logged in");
    if (!loginSucceeded) {
        services.processExit->exitNow(0);
        return;
    }

    steps.showMainWindow();
}

} // namespace modMain
