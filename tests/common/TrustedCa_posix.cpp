#include "TrustedCa.h"

#include <QFileInfo>

namespace testsupport {

TrustedCa::TrustedCa(const QString& pemFile) : m_policyCaFile(pemFile)
{
    if (!QFileInfo(pemFile).isReadable())
        m_error = QStringLiteral("no CA file: ") + pemFile;
}

TrustedCa::~TrustedCa() = default;

} // namespace testsupport
