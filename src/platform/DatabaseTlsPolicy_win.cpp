#include "DatabaseTlsPolicy.h"

#include "BuildInfo.h"
#include "WinHandle.h"

#include <cstring>
#include <vector>

namespace platform {

namespace {

const QString Unreadable = QStringLiteral("%1: 읽을 수 없습니다 (오류 %2)");
const QString UnknownValue = QStringLiteral("%1: 이 프로그램이 쓰지 않는 값 %2");
const QString WrongType = QStringLiteral("%1: %2은(는) %3 값이어야 합니다");

const wchar_t* wide(const QString& text)
{
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

QString typeName(DWORD type)
{
    return type == REG_DWORD ? QStringLiteral("REG_DWORD") : QStringLiteral("REG_SZ");
}

// Every value under key, as the table names it, or why it is not one the program reads.
void readValues(HKEY key, const QString& location, QList<MachinePolicyEntry>& entries, QStringList& problems)
{
    DWORD count = 0, longestName = 0, longestData = 0;
    LSTATUS status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longestName,
                                      &longestData, nullptr, nullptr);
    for (DWORD i = 0; status == ERROR_SUCCESS && i < count; ++i) {
        std::vector<wchar_t> name(longestName + 1);
        std::vector<BYTE> data(longestData + sizeof(wchar_t));
        DWORD nameLength = DWORD(name.size()), dataSize = DWORD(data.size()), type = REG_NONE;
        status = RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
        if (status != ERROR_SUCCESS)
            break;
        const QString valueName = QString::fromWCharArray(name.data(), qsizetype(nameLength));
        const MachinePolicyValue* known = findMachinePolicyValue(valueName);
        const DWORD expected = known && known->type == PolicyValueType::Number ? REG_DWORD : REG_SZ;
        if (!known) {
            problems.append(UnknownValue.arg(location, valueName));
        } else if (type != expected || (type == REG_DWORD && dataSize != sizeof(DWORD))) {
            problems.append(WrongType.arg(location, valueName, typeName(expected)));
        } else if (type == REG_DWORD) {
            DWORD number = 0;
            memcpy(&number, data.data(), sizeof number);
            entries.append({QString::fromUtf16(known->name), QString::number(number), location});
        } else {
            // The text up to its first NUL, if the value holds one.
            const auto* text = reinterpret_cast<const char16_t*>(data.data());
            qsizetype length = 0;
            while (length < qsizetype(dataSize / sizeof(char16_t)) && text[length] != 0)
                ++length;
            entries.append({QString::fromUtf16(known->name), QString::fromUtf16(text, length), location});
        }
    }
    if (status != ERROR_SUCCESS && status != ERROR_NO_MORE_ITEMS)
        problems.append(Unreadable.arg(location, QString::number(status)));
}

} // namespace

QString machinePolicyLocation()
{
    return QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\") + QString::fromUtf8(build::CompanyName) +
           QStringLiteral("\\NorvaQuillet");
}

DatabaseTlsPolicy readDatabaseTlsPolicy(const QString& location)
{
    // Only administrators (and Group Policy) write under HKEY_LOCAL_MACHINE\SOFTWARE\Policies. The certificate
    // authorities are the machine's own store, where IT deploys its CA: the policy names no file here.
    const qsizetype slash = location.indexOf(u'\\');
    const QString rootName = location.left(slash);
    HKEY root = nullptr;
    if (rootName == QStringLiteral("HKEY_LOCAL_MACHINE"))
        root = HKEY_LOCAL_MACHINE;
    else if (rootName == QStringLiteral("HKEY_CURRENT_USER"))
        root = HKEY_CURRENT_USER;
    if (!root || slash < 0)
        return {};
    RegKey key;
    const LSTATUS opened =
        RegOpenKeyExW(root, wide(location.mid(slash + 1)), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.receive());
    if (opened == ERROR_FILE_NOT_FOUND)
        return {};
    QList<MachinePolicyEntry> entries;
    QStringList problems;
    if (opened != ERROR_SUCCESS)
        problems.append(Unreadable.arg(location, QString::number(opened)));
    else
        readValues(key.get(), location, entries, problems);
    return interpretMachinePolicy(entries, problems);
}

} // namespace platform
