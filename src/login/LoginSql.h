#pragma once

#include <QByteArray>
#include <QString>

// The statements of the login dialog and the PC allowlist, and the account both connect with.
namespace LoginSql {

inline constexpr char16_t AccountUser[] = u"zt_inhouse";
inline constexpr char16_t AccountPassword[] = u"qtzp5830";
inline constexpr char16_t AccountDatabase[] = u"zt_inhouse";
inline constexpr unsigned int AccountPort = 3306;

/** text as the bytes a quoted literal of a statement gives the server: code page 949, cut before the first NUL. */
QByteArray LiteralBytes(const QString& text);

/** text's LiteralBytes made safe between single quotes: quotes doubled, then backslashes doubled. */
QByteArray EscapeQuoted(const QString& text);

/** What the user table keeps for password: the SHA-1 of its LiteralBytes in lowercase hex, as the server's SHA1()
 *  gives it for the literal. */
QByteArray PasswordHash(const QString& password);

/** The statement, as code-page-949 bytes, that selects the row of userId when password matches and the account is
 *  not hidden. Only the password's hash is in it: the server, and whatever it logs, never sees the password. */
QByteArray LoginStatement(const QString& userId, const QString& password);

/** The statement, as code-page-949 bytes, that selects the user id registered, and not blocked, for the MAC
 *  address mac. */
QByteArray AllowlistStatement(const QString& mac);

} // namespace LoginSql
