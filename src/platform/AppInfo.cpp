#include "AppInfo.h"

#include "BuildInfo.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace platform {

Version ownVersion()
{
    return {build::VersionMajor, build::VersionMinor, build::VersionPatch, build::VersionRevision};
}

static QString fromEnvOr(const char* name, const char* fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? QString::fromUtf8(fallback) : value;
}

QString defaultServerAddress()
{
    return fromEnvOr("ZT_DEFAULT_SERVER", build::DefaultServer);
}

QString serverListBaseUrl()
{
    return fromEnvOr("ZT_SERVER_LIST_URL", build::ServerListUrl);
}

AppLocation AppLocation::current()
{
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    return {exe.absolutePath(), exe.fileName()};
}

QString AppLocation::filePath(const QString& name) const
{
    return dir + u'/' + name;
}

} // namespace platform
