#include "modServerAddressUtil.h"

#include "HttpTransfer.h"
#include "LogCategories.h"
#include "TransferLog.h"
#include "json.h"
#include "modUniCode.h"

#include <utility>

namespace modServerAddressUtil {

namespace {

// The loaded cache; the empty value until the first load.
json::JsonValue& serverAddressList()
{
    static json::JsonValue list;
    return list;
}

// A list fetched in this run that the cache file does not hold, because it could not be written: the load
// takes it instead of the older file.
json::JsonValue& unsavedList()
{
    static json::JsonValue list;
    return list;
}

QString cachePath(const platform::Services& services)
{
    return services.app.filePath(QString::fromUtf16(CacheFileName));
}

json::JsonValue readCache(const platform::Services& services, const QString& path)
{
    QString text = modUniCode::ReadUTF8TextFile(services, path);
    return json::ParseJson(text);
}

} // namespace

QString ServiceUrl(const QString& baseUrl, const QString& version, const QString& user)
{
    QString url = baseUrl;
    while (url.endsWith(u'/'))
        url.chop(1);
    url += QString::fromUtf16(ServicePath);
    if (!version.isEmpty())
        url += QStringLiteral("?ver=") + version;
    if (!user.isEmpty())
        url += (version.isEmpty() ? QStringLiteral("?user=") : QStringLiteral("&user=")) + user;
    return url;
}

bool RefreshServerAddressCache(const platform::Services& services, const QString& user)
{
    const QString path = cachePath(services);
    QString version;
    if (modUniCode::FileExists(path)) {
        const json::JsonValue cache = readCache(services, path);
        if (!cache.isObject()) {
            qCWarning(platform::lcServerList).noquote()
                << "the cached list" << path << "is not readable: not refreshed";
            return false;
        }
        version = cache[QStringLiteral("ver")].textForm();
    }

    support::http::GetOptions options;
    options.maxBytes = MaxAnswerBytes;
    options.smallText = true;
    const QString url = ServiceUrl(platform::serverListBaseUrl(), version, user);
    const auto answer = platform::waitFor(services.waitWindow, QStringLiteral("서버 목록을 받는 중…"),
                                          [&](const platform::SkipFlag& skipped) {
                                              options.cancel = &skipped;
                                              return support::http::get(url, options);
                                          });
    if (!answer || answer->status != 200) {
        qCWarning(platform::lcServerList).noquote() << "no list from" << support::http::addressForLog(url);
        return false;
    }

    QString text = QString::fromUtf8(answer->body);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const json::JsonValue response = json::ParseJson(text);
    if (!response.isObject()) {
        qCWarning(platform::lcServerList) << "the service's answer is not a JSON object";
        return false;
    }
    const json::JsonValue& success = response[QStringLiteral("success")];
    const json::JsonValue& data = response[QStringLiteral("data")];
    // Only a list replaces the cache: an answer without one must not leave an empty file that no later
    // refresh could read past.
    if (success.isBoolean() && success.toBool() && data.isObject()) {
        // A folder that cannot be written was reported once at start: no message for the cache as well.
        const bool saved =
            !services.app.writeBlock.isError() && modUniCode::WriteUTF8TextFile(services, path, json::ToJsonText(data));
        unsavedList() = saved ? json::JsonValue() : data;
        qCInfo(platform::lcServerList).noquote() << "list version" << data[QStringLiteral("ver")].textForm()
                                                 << "fetched," << (saved ? "cached in" : "not kept in") << path;
    } else {
        qCWarning(platform::lcServerList) << "the service's answer holds no list";
    }
    return true;
}

void LoadServerAddressCache(const platform::Services& services)
{
    if (!unsavedList().isEmpty()) {
        serverAddressList() = std::exchange(unsavedList(), json::JsonValue());
        qCInfo(platform::lcServerList) << "list in use: the one fetched, not cached";
        return;
    }
    const QString path = cachePath(services);
    if (!modUniCode::FileExists(path)) {
        qCWarning(platform::lcServerList) << "no list, none cached";
        return;
    }
    serverAddressList() = readCache(services, path);
    qCInfo(platform::lcServerList).noquote()
        << "list version" << serverAddressList()[QStringLiteral("ver")].textForm() << "in use, from" << path;
}

QString GetServerHost(const QString& name)
{
    const json::JsonValue& list = serverAddressList();
    if (list.isEmpty())
        return {};
    // A list of the wrong shape answers nothing, so that start-up keeps its defaults instead of failing.
    const json::JsonArrayRef servers = list[QStringLiteral("servers")].toArray();
    if (!servers)
        return {};
    for (const json::JsonValue& entry : servers->items()) {
        if (!entry.isObject())
            continue;
        const json::JsonValue& entryName = entry[QStringLiteral("name")];
        if (entryName.isText() && entryName.textForm() == name)
            return entry[QStringLiteral("host")].textForm();
    }
    return {};
}

} // namespace modServerAddressUtil
