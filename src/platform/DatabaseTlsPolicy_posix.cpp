#include "DatabaseTlsPolicy.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <sys/stat.h>

namespace platform {

namespace {

// Debian's bundle of the certificate authorities the system trusts. Named outright, so that OpenSSL's own
// environment variables cannot put another one in its place.
const QString SystemCaBundle = QStringLiteral("/etc/ssl/certs/ca-certificates.crt");

// A policy is a few lines; anything much larger is not one.
constexpr qint64 MaxPolicyBytes = 64 * 1024;

// "Key = value" lines, keys as registry names (case ignored); '#' or ';' starts a comment. The first line of a
// key counts.
QMap<QString, QString> parsePolicyFile(const QByteArray& text)
{
    QMap<QString, QString> values;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        const qsizetype equals = line.indexOf(u'=');
        if (line.startsWith(u'#') || line.startsWith(u';') || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed().toLower();
        if (!values.contains(key))
            values.insert(key, line.mid(equals + 1).trimmed());
    }
    return values;
}

// Machine policy is root's: a file (or folder) anyone else may write is not trusted with it.
bool trustedPath(const QString& path)
{
    struct stat info = {};
    return stat(QFile::encodeName(path).constData(), &info) == 0 && info.st_uid == 0 && (info.st_mode & 0022) == 0;
}

// The file the path leads to and the folder that holds it: whoever may change either may change the policy.
bool trustedFile(const QString& path)
{
    const QString real = QFileInfo(path).canonicalFilePath();
    return !real.isEmpty() && trustedPath(real) && trustedPath(QFileInfo(real).path());
}

} // namespace

QString machinePolicyLocation()
{
    return QStringLiteral("/etc/norvaquillet/policy.conf");
}

DatabaseTlsPolicy readDatabaseTlsPolicy(const QString& location)
{
    DatabaseTlsPolicy policy;
    QFile file(location);
    if (!file.open(QIODevice::ReadOnly))
        return policy;
    const QMap<QString, QString> values = parsePolicyFile(file.read(MaxPolicyBytes));
    const bool trusted = trustedFile(location);
    policy.mode = parseDatabaseTls(values.value(QString::fromUtf16(DatabaseTlsName).toLower()));
    if (policy.mode != DatabaseTls::Verify)
        return policy;
    const QString caFile = values.value(QString::fromUtf16(DatabaseTlsCaFileName).toLower());
    if (trusted && !caFile.isEmpty() && trustedFile(caFile))
        policy.caFile = caFile;
    else if (QFileInfo::exists(SystemCaBundle))
        policy.caFile = SystemCaBundle;
    return policy;
}

} // namespace platform
