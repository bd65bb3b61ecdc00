#include "SettingsStore.h"

#include <QDir>
#include <QSettings>

namespace platform {

// The classic runtime kept its per-user settings here; staying with it keeps every stored value.
static QString registryBranch(const QString& app)
{
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\") + app;
}

SettingsStore::SettingsStore() = default;

SettingsStore::SettingsStore(QString folder) : m_folder(std::move(folder)) {}

QString SettingsStore::location(const QString& app) const
{
    return m_folder.isEmpty() ? registryBranch(app) : m_folder + u'/' + app + QStringLiteral(".ini");
}

QString SettingsStore::read(const QString& app, const QString& section, const QString& key,
                            const QString& defaultValue) const
{
    const QSettings settings(location(app), m_folder.isEmpty() ? QSettings::NativeFormat : QSettings::IniFormat);
    return settings.value(section + u'/' + key, defaultValue).toString();
}

void SettingsStore::write(const QString& app, const QString& section, const QString& key, const QString& value)
{
    if (!m_folder.isEmpty())
        QDir().mkpath(m_folder);
    QSettings settings(location(app), m_folder.isEmpty() ? QSettings::NativeFormat : QSettings::IniFormat);
    settings.setValue(section + u'/' + key, value);
    settings.sync();
}

} // namespace platform
