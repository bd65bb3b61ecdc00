#pragma once

#include "Services.h"

#include <QString>

// Placeholder until the server-list service is wired in: nothing is fetched or cached yet.
namespace modServerAddressUtil {

/** Asks the server-list service for the current list and rewrites the cache. */
bool RefreshServerAddressCache(const platform::Services& services, const QString& user);
/** Reads the cache into memory. */
void LoadServerAddressCache(const platform::Services& services);
/** The host of the first entry named name, or empty text. */
QString GetServerHost(const QString& name);

} // namespace modServerAddressUtil
