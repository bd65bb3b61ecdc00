#include "DatabaseTlsPolicy.h"

#include <QList>

namespace platform {

DatabaseTls parseDatabaseTls(const QString& raw)
{
    const QString value = raw.trimmed();
    if (value.compare(QStringLiteral("verify"), Qt::CaseInsensitive) == 0)
        return DatabaseTls::Verify;
    if (value.compare(QStringLiteral("require"), Qt::CaseInsensitive) == 0)
        return DatabaseTls::Require;
    return DatabaseTls::Prefer;
}

QMap<QString, QString> parsePolicyFile(const QByteArray& text)
{
    QMap<QString, QString> values;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.startsWith(u'#') || line.startsWith(u';'))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed().toLower();
        if (!values.contains(key))
            values.insert(key, line.mid(equals + 1).trimmed());
    }
    return values;
}

bool trustedPolicyFile(unsigned int owner, unsigned int mode)
{
    // Group and others may read, never write.
    constexpr unsigned int writableByOthers = 0022;
    return owner == 0 && (mode & writableByOthers) == 0;
}

} // namespace platform
