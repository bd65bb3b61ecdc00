#pragma once

#include <QByteArray>
#include <QString>

// The statements of the login dialog and the PC allowlist, and the account both connect with.
namespace LoginSql {

inline constexpr char16_t AccountUser[] = u"zt_inhouse";
inline constexpr char16_t AccountPassword[] = u"qtzp5830";
inline constexpr char16_t AccountDatabase[] = u"zt_inhouse";
inline constexpr unsigned int AccountPort = 3306;

/** text as code-page-949 bytes made safe between single quotes: cut before the first NUL, quotes doubled, then
 *  backslashes doubled. */
QByteArray EscapeQuoted(const QString& text);

/** The statement, as code-page-949 bytes, that selects the row of userId when password (hashed by the server)
 *  matches and the account is not hidden. */
QByteArray LoginStatement(const QString& userId, const QString& password);

/** The statement, as code-page-949 bytes, that selects the user id registered, and not blocked, for the MAC
 *  address mac. */
QByteArray AllowlistStatement(const QString& mac);

} // namespace LoginSql
