#include "SettingsStore.h"

#include "WinHandle.h"

#include <QDir>
#include <QSettings>

#include <cwchar>
#include <optional>
#include <vector>

namespace platform {

namespace {

// The classic runtime kept its per-user settings here, one plain REG_SZ per value. Values are read and
// written through the registry functions directly, byte for byte, so that both programs read each other's
// values (QSettings would escape a leading '@').
QString branch()
{
    return QStringLiteral("Software\\VB and VBA Program Settings\\");
}

const wchar_t* wide(const QString& text)
{
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

QString sectionKey(const QString& app, const QString& section)
{
    return branch() + app + u'\\' + section;
}

// The REG_SZ value name under subKey; nothing when the key or the value is missing or of another type.
std::optional<QString> readString(const QString& subKey, const QString& name)
{
    RegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, wide(subKey), 0, KEY_QUERY_VALUE, key.receive()) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<wchar_t> buffer(256);
    // Another program may grow the value between two calls; a few rounds are enough.
    for (int round = 0; round < 8; ++round) {
        DWORD bytes = DWORD(buffer.size() * sizeof(wchar_t));
        // Without RRF_NOEXPAND a REG_EXPAND_SZ would pass as a REG_SZ, expanded.
        const LSTATUS status =
            RegGetValueW(key.get(), nullptr, wide(name), RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr, buffer.data(), &bytes);
        if (status == ERROR_MORE_DATA) {
            buffer.resize(bytes / sizeof(wchar_t) + 1);
            continue;
        }
        if (status != ERROR_SUCCESS)
            return std::nullopt;
        // The text ends at its terminating NUL, as it does for every reader of the value.
        const size_t length = wcsnlen(buffer.data(), bytes / sizeof(wchar_t));
        return QString::fromWCharArray(buffer.data(), qsizetype(length));
    }
    return std::nullopt;
}

void writeString(const QString& subKey, const QString& name, const QString& value)
{
    RegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, wide(subKey), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                        key.receive(), nullptr) != ERROR_SUCCESS)
        return;
    // utf16() ends with a NUL; the stored size counts it, as REG_SZ expects.
    RegSetValueExW(key.get(), wide(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.utf16()),
                   DWORD((value.size() + 1) * sizeof(char16_t)));
}

} // namespace

SettingsStore::SettingsStore() = default;

SettingsStore::SettingsStore(QString folder) : m_folder(std::move(folder)) {}

QString SettingsStore::location(const QString& app) const
{
    return m_folder.isEmpty() ? QStringLiteral("HKEY_CURRENT_USER\\") + branch() + app
                              : m_folder + u'/' + app + QStringLiteral(".ini");
}

QString SettingsStore::read(const QString& app, const QString& section, const QString& key,
                            const QString& defaultValue) const
{
    if (m_folder.isEmpty())
        return readString(sectionKey(app, section), key).value_or(defaultValue);
    const QSettings settings(location(app), QSettings::IniFormat);
    return settings.value(section + u'/' + key, defaultValue).toString();
}

void SettingsStore::write(const QString& app, const QString& section, const QString& key, const QString& value)
{
    if (m_folder.isEmpty()) {
        writeString(sectionKey(app, section), key, value);
        return;
    }
    QDir().mkpath(m_folder);
    QSettings settings(location(app), QSettings::IniFormat);
    settings.setValue(section + u'/' + key, value);
    settings.sync();
}

} // namespace platform
