#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

namespace testsupport {

/** Signs as the publisher does with minisign (the prehashed form), so that tests can serve signed files where no
 *  minisign runs (under Wine). */
class MinisignSigner final
{
public:
    /** A new key pair. */
    MinisignSigner();
    /** The key pair of an unencrypted minisign secret key file (minisign -G -W); nothing when it is not one. */
    static std::optional<MinisignSigner> fromKeyFile(const QString& path);

    /** The base64 line of the public key file, as ZT_UPDATE_PUBLIC_KEYS takes it. */
    QString publicKey() const;
    /** The ".minisig" of file. */
    QByteArray sign(const QByteArray& file) const;

private:
    std::array<unsigned char, 8> m_keyId{};
    std::array<unsigned char, 64> m_secretKey{};
};

} // namespace testsupport
