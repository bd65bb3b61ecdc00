#include "modFileVersionCheck.h"

#include "VbError.h"
#include "modAutoUpdateV1_Download.h"
#include "modAutoUpdateV1_Launcher.h"
#include "modMainShared.h"
#include "modUniCode.h"

#include <QDir>

namespace modFileVersionCheck {

namespace {

QString updateFolderUrl(const QString& subPath)
{
    QString url = modAutoUpdateV1_Launcher::UpdateBaseUrlFor(modMain::UpdateServerHost);
    QString sub = subPath;
    sub.replace(u'\\', u'/');
    while (sub.startsWith(u'/'))
        sub.remove(0, 1);
    while (sub.endsWith(u'/'))
        sub.chop(1);
    if (!sub.isEmpty())
        url += sub + u'/';
    return url;
}

} // namespace

void CheckFileVersion(const platform::Services& services, const QString& fileName, const QString& localDir,
                      const QString& subPath, const QStringList& files)
{
    using namespace modAutoUpdateV1_Launcher;

    // Nothing could be installed in a program folder that cannot be written; start-up has said so once.
    if (services.app.writeBlock.isError() && QDir(localDir) == QDir(services.app.dir))
        return;

    const QString folderUrl = updateFolderUrl(subPath);
    const platform::Result<Freshness> freshness =
        CompareWithServer(services, folderUrl, fileName, localDir + u'/' + fileName, MissingFile::Outdated);
    if (!freshness || *freshness == Freshness::Unreadable) {
        services.messageBox->show(fileName + QStringLiteral("의 최신버전 정보를 읽어올 수 없습니다!"), QString(),
                                  platform::MessageIcon::Error);
        return;
    }
    if (*freshness == Freshness::Current)
        return;

    modAutoUpdateV1_Download::FailedFile failed;
    QString base = folderUrl;
    base.chop(1); // DownloadFiles puts the "/" back between folder and name
    if (modAutoUpdateV1_Download::DownloadFiles(base, localDir, files, &failed, services.waitWindow))
        return;
    const QString name = files.value(failed.index);
    QString text = QStringLiteral("파일 다운로드중 오류가 발생했습니다.") + QStringLiteral("경로: ") +
                   QDir::toNativeSeparators(localDir + u'/' + name);
    if (failed.refused)
        text += QStringLiteral("\r\n\r\n") + modAutoUpdateV1_Download::SignatureRefusedText(name, *failed.refused);
    services.messageBox->show(text, QString(), platform::MessageIcon::Error);
}

} // namespace modFileVersionCheck
