#pragma once

#include "Services.h"

#include <QString>

// The server addresses of the day: fetched from the server-list service, cached beside the program in
// "server_address_setting.json", looked up by entry name.
namespace modServerAddressUtil {

/** The cache file's name, in the program's folder. */
inline constexpr char16_t CacheFileName[] = u"server_address_setting.json";
/** The service's path below its base address. */
inline constexpr char16_t ServicePath[] = u"/serverinfo/server-address-checker.php";
/** The most the service's answer may hold. */
inline constexpr qint64 MaxAnswerBytes = 4 * 1024 * 1024;

/** The request address: the service, then "?ver=" + version and "&user=" / "?user=" + user when not empty
 *  (neither encoded). */
QString ServiceUrl(const QString& baseUrl, const QString& version, const QString& user);

/** Asks the service for the current list and, when it answers success true with a "data" object, rewrites
 *  the cache with that object; a list that cannot be saved there (the program's folder cannot be written, or the
 *  write fails) is kept for this run's load instead. False when the cache cannot be read as an object, the service
 * cannot be reached or does not answer 200 with a JSON object; the cache is then untouched. No message of its own. */
bool RefreshServerAddressCache(const platform::Services& services, const QString& user);

/** Reads the cache into memory, replacing what was loaded; does nothing when there is no cache. A list the
 *  refresh fetched but could not save is taken instead of the file. */
void LoadServerAddressCache(const platform::Services& services);

/** The "host" of the first entry whose "name" is exactly name; empty text when nothing is loaded, the list
 *  has no "servers" array, or no entry matches. */
QString GetServerHost(const QString& name);

} // namespace modServerAddressUtil
