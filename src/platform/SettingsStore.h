#pragma once

#include <QString>

namespace platform {

/** Per-user text values addressed by application name, section and key; they outlive the process.
 *  Each application name has its own store: on Windows the classic per-user registry branch, elsewhere
 *  one INI file per application name in the user's configuration folder. */
class SettingsStore final
{
public:
    /** The user's own store. */
    SettingsStore();
    /** A store kept under folder (INI files; used where the registry is not wanted). */
    explicit SettingsStore(QString folder);

    /** The stored text, or defaultValue when there is none. */
    QString read(const QString& app, const QString& section, const QString& key,
                 const QString& defaultValue = {}) const;
    /** Creates or replaces the value. The store is readable and writable by its owner only. */
    void write(const QString& app, const QString& section, const QString& key, const QString& value);

    /** Where the store of app lives (a file path or a registry path). */
    QString location(const QString& app) const;

private:
    QString m_folder; // empty: the platform's own per-user store
};

} // namespace platform
