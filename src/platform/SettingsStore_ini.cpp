#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

namespace platform {

static QString userConfigFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/NorvaQuillet");
}

SettingsStore::SettingsStore() = default;

SettingsStore::SettingsStore(QString folder) : m_folder(std::move(folder)) {}

QString SettingsStore::location(const QString& app) const
{
    const QString folder = m_folder.isEmpty() ? userConfigFolder() : m_folder;
    return folder + u'/' + app + QStringLiteral(".ini");
}

QString SettingsStore::read(const QString& app, const QString& section, const QString& key,
                            const QString& defaultValue) const
{
    const QSettings settings(location(app), QSettings::IniFormat);
    return settings.value(section + u'/' + key, defaultValue).toString();
}

void SettingsStore::write(const QString& app, const QString& section, const QString& key, const QString& value)
{
    const QString path = location(app);
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Create the file owner-only before QSettings writes into it: it may hold a saved password.
    if (!QFile::exists(path)) {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.close();
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue(section + u'/' + key, value);
        settings.sync();
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace platform
