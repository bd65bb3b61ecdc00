#include "DatabaseTlsPolicy.h"

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

} // namespace platform
