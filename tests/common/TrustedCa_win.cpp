#include "TrustedCa.h"

#include <QCryptographicHash>
#include <QFile>

#include <windows.h>

#include <wincrypt.h>

namespace testsupport {

namespace {

// The certificates of the machine's root store, one key per certificate, named by its SHA-1 thumbprint.
const QString RootCertificates = QStringLiteral("Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\");

QByteArray derOfPem(const QByteArray& pem)
{
    const qsizetype begin = pem.indexOf("-----\n");
    const qsizetype end = pem.indexOf("-----END");
    return begin < 0 || end < begin ? QByteArray() : QByteArray::fromBase64(pem.mid(begin + 6, end - begin - 6));
}

} // namespace

TrustedCa::TrustedCa(const QString& pemFile)
{
    QFile file(pemFile);
    const QByteArray der = file.open(QIODevice::ReadOnly) ? derOfPem(file.readAll()) : QByteArray();
    if (der.isEmpty()) {
        m_error = QStringLiteral("no certificate in ") + pemFile;
        return;
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!store) {
        m_error = QStringLiteral("the machine's root store does not open");
        return;
    }
    if (!CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.constData()),
                                          DWORD(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
        m_error = QStringLiteral("the certificate was not added: ") + QString::number(GetLastError());
    else
        m_storeKey = RootCertificates +
                     QString::fromLatin1(QCryptographicHash::hash(der, QCryptographicHash::Sha1).toHex().toUpper());
    CertCloseStore(store, 0);
}

TrustedCa::~TrustedCa()
{
    // Deleted through the store, the certificate comes back under Wine: its registry key is what counts.
    if (!m_storeKey.isEmpty())
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(m_storeKey.utf16()));
}

} // namespace testsupport
