#pragma once

#include <QString>

namespace testsupport {

/** While it lives, connections that verify trust the certificate authority of a PEM file as this system's own
 *  would: on Windows it sits in the machine's root store (the test needs a Wine prefix of its own), elsewhere it is
 *  the CA file the policy names. */
class TrustedCa final
{
public:
    explicit TrustedCa(const QString& pemFile);
    ~TrustedCa();
    TrustedCa(const TrustedCa&) = delete;
    TrustedCa& operator=(const TrustedCa&) = delete;

    /** Empty when trusted; otherwise why not. */
    const QString& error() const { return m_error; }
    /** The CA file for the policy: the PEM file, or nothing where the system's store holds the authority. */
    const QString& policyCaFile() const { return m_policyCaFile; }

private:
    QString m_error;
    QString m_policyCaFile;
    QString m_storeKey; // Windows: the registry key of the certificate in the machine's root store
};

} // namespace testsupport
