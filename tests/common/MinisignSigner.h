#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <sodium.h>

namespace testsupport {

/** Signs as minisign does, with a key pair of its own, so that a test (under Wine too, where there is no
 *  minisign) stages whatever signed file it needs; tst_minisign holds the verifier against minisign itself. */
class MinisignSigner final
{
public:
    MinisignSigner()
    {
        if (sodium_init() < 0)
            qFatal("libsodium does not start");
        // The ed25519 names: the static MariaDB client (Windows) defines generic crypto_sign ones of its own.
        crypto_sign_ed25519_keypair(m_publicKey, m_secretKey);
        randombytes_buf(m_keyId, sizeof m_keyId);
    }

    /** The public key line, as ZT_UPDATE_PUBLIC_KEYS takes it. */
    QString publicKey() const
    {
        return QString::fromLatin1(("Ed" + bytes(m_keyId, 8) + bytes(m_publicKey, 32)).toBase64());
    }

    /** A ".minisig" of file with minisign's default trusted comment for a file named fileName; prehashed (as
     *  minisign signs by default) or legacy. */
    QByteArray sign(const QByteArray& file, const QByteArray& fileName, bool prehashed = true) const
    {
        unsigned char hash[crypto_generichash_BYTES_MAX], signature[crypto_sign_BYTES], global[crypto_sign_BYTES];
        const auto* data = reinterpret_cast<const unsigned char*>(file.constData());
        crypto_generichash(hash, sizeof hash, data, std::size_t(file.size()), nullptr, 0);
        crypto_sign_ed25519_detached(signature, nullptr, prehashed ? hash : data,
                                     prehashed ? sizeof hash : std::size_t(file.size()), m_secretKey);
        const QByteArray comment = "timestamp:1700000000\tfile:" + fileName + (prehashed ? "\thashed" : "");
        const QByteArray signedComment = bytes(signature, sizeof signature) + comment;
        crypto_sign_ed25519_detached(global, nullptr, reinterpret_cast<const unsigned char*>(signedComment.constData()),
                                     std::size_t(signedComment.size()), m_secretKey);
        return "untrusted comment: signed by the test\n" +
               (QByteArray(prehashed ? "ED" : "Ed") + bytes(m_keyId, 8) + bytes(signature, sizeof signature))
                   .toBase64() +
               "\ntrusted comment: " + comment + '\n' + bytes(global, sizeof global).toBase64() + '\n';
    }

private:
    static QByteArray bytes(const unsigned char* b, qsizetype size) { return {reinterpret_cast<const char*>(b), size}; }

    unsigned char m_publicKey[crypto_sign_PUBLICKEYBYTES], m_secretKey[crypto_sign_SECRETKEYBYTES], m_keyId[8];
};

} // namespace testsupport
