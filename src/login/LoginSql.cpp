#include "LoginSql.h"

#include "Cp949.h"

namespace LoginSql {

QString EscapeQuoted(const QString& text)
{
    QString escaped = text;
    const qsizetype nul = escaped.indexOf(QChar(u'\0'));
    if (nul >= 0)
        escaped.truncate(nul);
    // Quotes first, then backslashes: a'b\c becomes a''b\\c.
    escaped.replace(QStringLiteral("'"), QStringLiteral("''"));
    escaped.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
    return escaped;
}

// Code page 949 never uses a quote or a backslash as the second byte of a character, so escaping the text
// before converting it leaves no byte the server could read as an unescaped quote.
static QByteArray quoted(const QString& text)
{
    return support::cp949::fromUnicode(EscapeQuoted(text));
}

QByteArray LoginStatement(const QString& userId, const QString& password)
{
    return QByteArray("SELECT *, now() as svrtime FROM user") + " where id='" + quoted(userId) +
           "' AND password2 = SHA1('" + quoted(password) + "')" + " and hidden=0";
}

QByteArray AllowlistStatement(const QString& mac)
{
    return QByteArray("SELECT user_id FROM user_mac") + " WHERE mac_addr = '" + quoted(mac) + "'" + " AND block = 0";
}

} // namespace LoginSql
