#include "LoginSql.h"

#include "Cp949.h"

#include <QCryptographicHash>

namespace LoginSql {

QByteArray LiteralBytes(const QString& text)
{
    QByteArray bytes = support::cp949::fromUnicode(text);
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return bytes;
}

QByteArray EscapeQuoted(const QString& text)
{
    // Bytes, not text, are escaped: the conversion may yield a quote or a backslash of its own, and code page
    // 949 never uses either as the second byte of a character, so each one found here stands for itself.
    QByteArray bytes = LiteralBytes(text);
    // Quotes first, then backslashes: a'b\c becomes a''b\\c.
    bytes.replace("'", "''");
    bytes.replace("\\", "\\\\");
    return bytes;
}

QByteArray PasswordHash(const QString& password)
{
    return QCryptographicHash::hash(LiteralBytes(password), QCryptographicHash::Sha1).toHex();
}

QByteArray LoginStatement(const QString& userId, const QString& password)
{
    // The hash the server used to compute from the password in the statement, computed here instead: staff reuse
    // passwords, and a server (or its query log) is no place for them.
    return QByteArray("SELECT *, now() as svrtime FROM user") + " where id='" + EscapeQuoted(userId) +
           "' AND password2 = '" + PasswordHash(password) + "'" + " and hidden=0";
}

QByteArray AllowlistStatement(const QString& mac)
{
    return QByteArray("SELECT user_id FROM user_mac") + " WHERE mac_addr = '" + EscapeQuoted(mac) + "'" +
           " AND block = 0";
}

} // namespace LoginSql
