#pragma once

#include <QByteArray>

#include <optional>

// The system's protection of data for the signed-in user: on Windows its data protection, bound to the account
// (and so to this PC, unless the account roams). Elsewhere there is none; the settings file is the owner's alone.
namespace platform {

/** True where the system protects data per user. */
bool userDataProtectionAvailable();

/** plain made readable to this user alone; nothing when that fails or there is no protection. */
std::optional<QByteArray> protectForUser(const QByteArray& plain);

/** The bytes protectForUser was given; nothing when this user here cannot open blob (another account, another
 *  PC, damaged bytes), or there is no protection. */
std::optional<QByteArray> unprotectForUser(const QByteArray& blob);

} // namespace platform
