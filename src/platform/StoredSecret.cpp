#include "StoredSecret.h"

#include "UserDataProtection.h"

#include <QStringDecoder>

namespace platform {

namespace {

// A password that begins so would be taken for a protected one and, unreadable, be asked for again once.
const QString Marker = QStringLiteral("{DPAPI}");

} // namespace

OpenedSecret openStoredSecret(const QString& stored, const SecretTransform& unprotect)
{
    if (!stored.startsWith(Marker))
        return {StoredSecretKind::Plain, stored};
    const OpenedSecret unreadable{StoredSecretKind::Unreadable, QString()};
    const QByteArray::FromBase64Result blob =
        QByteArray::fromBase64Encoding(stored.mid(Marker.size()).toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!blob || blob.decoded.isEmpty() || !unprotect)
        return unreadable;
    const std::optional<QByteArray> bytes = unprotect(*blob);
    if (!bytes)
        return unreadable;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(*bytes);
    if (utf8.hasError())
        return unreadable;
    return {StoredSecretKind::Protected, text};
}

QString sealSecret(const QString& secret, const SecretTransform& protect)
{
    // The empty value means "nothing remembered", for every reader.
    if (secret.isEmpty() || !protect)
        return secret;
    const std::optional<QByteArray> blob = protect(secret.toUtf8());
    if (!blob)
        return QString();
    return Marker + QString::fromLatin1(blob->toBase64());
}

OpenedSecret readStoredSecret(const QString& stored)
{
    return openStoredSecret(stored, unprotectForUser);
}

QString storedFormOfSecret(const QString& secret)
{
    return sealSecret(secret, userDataProtectionAvailable() ? SecretTransform(protectForUser) : SecretTransform());
}

} // namespace platform
