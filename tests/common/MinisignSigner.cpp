#include "MinisignSigner.h"

#include <QFile>

#include <sodium.h>

#include <cstring>

namespace testsupport {

MinisignSigner::MinisignSigner()
{
    if (sodium_init() < 0)
        qFatal("libsodium could not start");
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    crypto_sign_keypair(publicKey, m_secretKey.data());
    randombytes_buf(m_keyId.data(), m_keyId.size());
}

std::optional<MinisignSigner> MinisignSigner::fromKeyFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // "Ed", the key derivation ("\0\0": none), "B2", salt, two limits, then the key id, the key and a checksum.
    const QByteArray key = QByteArray::fromBase64(file.readAll().split('\n').value(1).trimmed());
    if (key.size() != 158 || !key.startsWith(QByteArray("Ed\0\0B2", 6)))
        return std::nullopt;
    MinisignSigner signer;
    std::memcpy(signer.m_keyId.data(), key.constData() + 54, 8);
    std::memcpy(signer.m_secretKey.data(), key.constData() + 62, 64);
    return signer;
}

QString MinisignSigner::publicKey() const
{
    QByteArray line("Ed");
    line.append(reinterpret_cast<const char*>(m_keyId.data()), 8);
    // The secret key ends with the public key.
    line.append(reinterpret_cast<const char*>(m_secretKey.data()) + 32, 32);
    return QString::fromLatin1(line.toBase64());
}

QByteArray MinisignSigner::sign(const QByteArray& file) const
{
    unsigned char hash[crypto_generichash_BYTES_MAX];
    crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(file.constData()),
                       std::size_t(file.size()), nullptr, 0);
    QByteArray block("ED");
    block.append(reinterpret_cast<const char*>(m_keyId.data()), 8);
    unsigned char signature[crypto_sign_BYTES];
    crypto_sign_detached(signature, nullptr, hash, sizeof hash, m_secretKey.data());
    block.append(reinterpret_cast<const char*>(signature), sizeof signature);

    const QByteArray comment("timestamp:0\tfile:signed by the tests");
    QByteArray signedComment(reinterpret_cast<const char*>(signature), sizeof signature);
    signedComment += comment;
    unsigned char global[crypto_sign_BYTES];
    crypto_sign_detached(global, nullptr, reinterpret_cast<const unsigned char*>(signedComment.constData()),
                         std::size_t(signedComment.size()), m_secretKey.data());
    return "untrusted comment: signature from the tests\n" + block.toBase64() + "\ntrusted comment: " + comment + '\n' +
           QByteArray(reinterpret_cast<const char*>(global), sizeof global).toBase64() + '\n';
}

} // namespace testsupport
